#include "platform/dbus/dbus_idle.h"

#include <cstdint>
#include <map>
#include <mutex>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVirtualObject>
#include <QString>
#include <QVariant>

namespace plenova::platform {

namespace {

constexpr int kCallTimeoutMs = 1000;

// A blocking call; its reply, which is an error message when it failed.
QDBusMessage Call(const QString& service, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, kCallTimeoutMs);
}

bool NameOnBus(const QString& name) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr) return false;
    const QDBusReply<bool> reply = bus.interface()->isServiceRegistered(name);
    return reply.isValid() && reply.value();
}

const QString kMutterService = QStringLiteral("org.gnome.Mutter.IdleMonitor");
const QString kMutterPath = QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core");

class MutterIdleSource : public IdleSource {
public:
    std::string Name() const override { return "org.gnome.Mutter.IdleMonitor"; }
    std::optional<std::chrono::milliseconds> IdleTime(std::chrono::milliseconds) override {
        const QDBusMessage reply =
            Call(kMutterService, kMutterPath, kMutterService, QStringLiteral("GetIdletime"));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1)
            return std::nullopt;
        bool ok = false;
        const qulonglong idle = reply.arguments().front().toULongLong(&ok);
        if (!ok) return std::nullopt;
        return std::chrono::milliseconds(static_cast<std::int64_t>(idle));
    }
};

const QString kSessionService = QStringLiteral("org.gnome.SessionManager");

class GnomeSessionInhibitors : public InhibitionSource {
public:
    std::string Name() const override { return "org.gnome.SessionManager"; }
    bool Inhibited() override {
        constexpr std::uint32_t kInhibitIdle = 8;
        const QDBusMessage reply =
            Call(kSessionService, QStringLiteral("/org/gnome/SessionManager"), kSessionService,
                 QStringLiteral("IsInhibited"), {QVariant::fromValue(kInhibitIdle)});
        return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1 &&
               reply.arguments().front().toBool();
    }
};

const QString kScreenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");

// The inhibitions held, by cookie, with the unique bus name of the caller that holds each.
// Calls may arrive on Qt's D-Bus thread, so the table has a lock.
class InhibitionTable : public QDBusVirtualObject {
public:
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != kScreenSaverService) return false;
        const QVariantList arguments = message.arguments();
        if (message.member() == QStringLiteral("Inhibit") && arguments.size() == 2) {
            std::uint32_t cookie = 0;
            {
                std::lock_guard lock(mutex_);
                do {
                    cookie = ++lastCookie_;
                } while (cookie == 0 || holders_.count(cookie) != 0);
                holders_[cookie] = message.service();
            }
            connection.send(message.createReply(QVariant::fromValue(cookie)));
            return true;
        }
        if (message.member() == QStringLiteral("UnInhibit") && arguments.size() == 1) {
            bool ok = false;
            const std::uint32_t cookie = arguments.front().toUInt(&ok);
            {
                std::lock_guard lock(mutex_);
                // Only its holder may lift an inhibition.
                const auto held = holders_.find(cookie);
                if (ok && held != holders_.end() && held->second == message.service())
                    holders_.erase(held);
            }
            connection.send(message.createReply());
            return true;
        }
        return false;
    }

    QString introspect(const QString&) const override {
        return QStringLiteral(
            "<interface name=\"org.freedesktop.ScreenSaver\">"
            "<method name=\"Inhibit\"><arg name=\"application_name\" type=\"s\" "
            "direction=\"in\"/><arg name=\"reason_for_inhibit\" type=\"s\" direction=\"in\"/>"
            "<arg name=\"cookie\" type=\"u\" direction=\"out\"/></method>"
            "<method name=\"UnInhibit\"><arg name=\"cookie\" type=\"u\" direction=\"in\"/>"
            "</method></interface>");
    }

    // The holders still on the bus; inhibitions of callers that have left are freed.
    bool AnyHeld() {
        std::map<std::uint32_t, QString> holders;
        {
            std::lock_guard lock(mutex_);
            holders = holders_;
        }
        std::map<QString, bool> present;
        for (const auto& [cookie, holder] : holders) {
            if (present.count(holder) == 0) present[holder] = NameOnBus(holder);
        }
        std::lock_guard lock(mutex_);
        for (auto held = holders_.begin(); held != holders_.end();) {
            const auto known = present.find(held->second);
            if (known != present.end() && !known->second)
                held = holders_.erase(held);
            else
                ++held;
        }
        return !holders_.empty();
    }

private:
    std::mutex mutex_;
    std::map<std::uint32_t, QString> holders_;
    std::uint32_t lastCookie_ = 0;
};

class OwnScreenSaverService : public InhibitionSource {
public:
    OwnScreenSaverService() = default;
    ~OwnScreenSaverService() override {
        QDBusConnection bus = QDBusConnection::sessionBus();
        for (const QString& path : Paths()) bus.unregisterObject(path);
        bus.unregisterService(kScreenSaverService);
    }
    OwnScreenSaverService(const OwnScreenSaverService&) = delete;
    OwnScreenSaverService& operator=(const OwnScreenSaverService&) = delete;

    // Registers the object on both paths that programs use, then takes the name.
    bool Register() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        for (const QString& path : Paths()) {
            if (!bus.registerVirtualObject(path, &table_)) return false;
        }
        return bus.registerService(kScreenSaverService);
    }

    std::string Name() const override { return "org.freedesktop.ScreenSaver (our own)"; }
    bool Inhibited() override { return table_.AnyHeld(); }

private:
    static QStringList Paths() {
        // The second is the older KDE path that some players still call.
        return {QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("/ScreenSaver")};
    }

    InhibitionTable table_;
};

}  // namespace

std::unique_ptr<IdleSource> OpenMutterIdleSource(std::string& why) {
    if (!NameOnBus(kMutterService)) {
        why = "no org.gnome.Mutter.IdleMonitor on the session bus";
        return nullptr;
    }
    auto source = std::make_unique<MutterIdleSource>();
    if (!source->IdleTime(std::chrono::milliseconds(0))) {
        why = "org.gnome.Mutter.IdleMonitor does not answer GetIdletime";
        return nullptr;
    }
    return source;
}

std::unique_ptr<InhibitionSource> OpenGnomeSessionInhibitors() {
    if (!NameOnBus(kSessionService)) return nullptr;
    return std::make_unique<GnomeSessionInhibitors>();
}

std::unique_ptr<InhibitionSource> OpenOwnScreenSaverService() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || NameOnBus(kScreenSaverService)) return nullptr;
    auto service = std::make_unique<OwnScreenSaverService>();
    if (!service->Register()) return nullptr;
    return service;
}

}  // namespace plenova::platform
