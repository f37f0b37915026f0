// Screen size and twips per pixel (the classic Screen.Width/Height and TwipsPerPixelX/Y).
// The real service reads the primary QScreen; the test double gives fixed values.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/service_slot.h"

namespace plenova::platform {

struct ScreenMetrics {
    std::int32_t widthPixels = 640;
    std::int32_t heightPixels = 480;
    std::int32_t twipsPerPixelX = 15;
    std::int32_t twipsPerPixelY = 15;
    // Screen size in twips (pixels times twips per pixel).
    std::int64_t WidthTwips() const noexcept { return std::int64_t{widthPixels} * twipsPerPixelX; }
    std::int64_t HeightTwips() const noexcept {
        return std::int64_t{heightPixels} * twipsPerPixelY;
    }
};

class ScreenService {
public:
    virtual ~ScreenService() = default;
    virtual ScreenMetrics Metrics() = 0;
};

// The service in use. Until one is installed it is a FixedScreen of 640 x 480 pixels at 15
// twips per pixel.
ScreenService& Screen();
// Installs a service (nullptr: the default FixedScreen); returns the previous one.
std::shared_ptr<ScreenService> SetScreenService(std::shared_ptr<ScreenService> service);
inline ScreenMetrics ScreenInfo() { return Screen().Metrics(); }

// Test double with fixed values.
class FixedScreen : public ScreenService {
public:
    FixedScreen() = default;
    explicit FixedScreen(ScreenMetrics metrics) : metrics_(metrics) {}
    ScreenMetrics Metrics() override { return metrics_; }
    void Set(ScreenMetrics metrics) { metrics_ = metrics; }

private:
    ScreenMetrics metrics_;
};

// Installs a FixedScreen for the lifetime of the object and restores the previous one.
class ScopedFixedScreen : public ScopedService<ScreenService, FixedScreen, &SetScreenService> {
public:
    explicit ScopedFixedScreen(ScreenMetrics metrics = {})
        : ScopedService(std::make_shared<FixedScreen>(metrics)) {}
};

}  // namespace plenova::platform
