// The process-wide service switch behind the platform's service headers: one slot per service
// holding the installed implementation, a default made when nothing is installed, and a scoped
// installer for test doubles.
#pragma once

#include <memory>
#include <mutex>
#include <utility>

namespace plenova::platform {

template <class Service>
class ServiceSlot {
public:
    using Maker = std::shared_ptr<Service> (*)();

    // `makeDefault` gives the service in use while none is installed. It is called on first use
    // and again on the first use after Set(nullptr), never before: a default that needs the
    // desktop or the file system is not made unless it is asked for.
    explicit constexpr ServiceSlot(Maker makeDefault) noexcept : makeDefault_(makeDefault) {}
    ServiceSlot(const ServiceSlot&) = delete;
    ServiceSlot& operator=(const ServiceSlot&) = delete;

    Service& Get() {
        std::lock_guard lock(mutex_);
        if (!current_) current_ = makeDefault_();
        return *current_;
    }

    // Installs `service` (nullptr: the default again); returns the service it replaces, which is
    // null while the default had not been made yet.
    std::shared_ptr<Service> Set(std::shared_ptr<Service> service) {
        std::lock_guard lock(mutex_);
        std::swap(service, current_);
        return service;
    }

private:
    std::mutex mutex_;
    std::shared_ptr<Service> current_;
    Maker makeDefault_;
};

// The usual default of a slot: a new `Default` made without arguments.
template <class Service, class Default>
std::shared_ptr<Service> MakeService() {
    return std::make_shared<Default>();
}

// Installs a service through `Install` (a service header's SetXxx function) for the lifetime of
// the object and puts the previous one back at the end. Without an argument it installs a new
// `Double`; the installed object is reached with -> and *.
template <class Service, class Double, std::shared_ptr<Service> (*Install)(std::shared_ptr<Service>)>
class ScopedService {
public:
    ScopedService() : ScopedService(std::make_shared<Double>()) {}
    explicit ScopedService(std::shared_ptr<Double> service)
        : service_(std::move(service)), previous_(Install(service_)) {}
    ~ScopedService() { Install(std::move(previous_)); }
    ScopedService(const ScopedService&) = delete;
    ScopedService& operator=(const ScopedService&) = delete;

    Double* operator->() const noexcept { return service_.get(); }
    Double& operator*() const noexcept { return *service_; }

private:
    std::shared_ptr<Double> service_;
    std::shared_ptr<Service> previous_;
};

}  // namespace plenova::platform
