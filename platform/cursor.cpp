#include "platform/cursor.h"

#include <mutex>

#include <QCursor>
#include <QGuiApplication>
#include <QPoint>

namespace plenova::platform {

namespace {

std::mutex serviceMutex;
std::shared_ptr<CursorService>& Current() {
    static std::shared_ptr<CursorService> service = std::make_shared<ScriptedCursor>();
    return service;
}

}  // namespace

CursorService& Cursor() {
    std::lock_guard lock(serviceMutex);
    return *Current();
}

std::shared_ptr<CursorService> SetCursorService(std::shared_ptr<CursorService> service) {
    std::lock_guard lock(serviceMutex);
    if (!service) service = std::make_shared<ScriptedCursor>();
    std::swap(service, Current());
    return service;
}

ScreenPoint QtCursor::Position() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return {};
    const QPoint p = QCursor::pos();
    return {p.x(), p.y()};
}

ScreenPoint ScriptedCursor::Position() {
    ++calls_;
    if (!queue_.empty()) {
        current_ = queue_.front();
        queue_.pop_front();
    }
    return current_;
}

void ScriptedCursor::Set(std::int32_t x, std::int32_t y) {
    queue_.clear();
    current_ = {x, y};
}

void ScriptedCursor::Queue(std::int32_t x, std::int32_t y) { queue_.push_back({x, y}); }

ScopedScriptedCursor::ScopedScriptedCursor()
    : cursor_(std::make_shared<ScriptedCursor>()), previous_(SetCursorService(cursor_)) {}

ScopedScriptedCursor::~ScopedScriptedCursor() { SetCursorService(previous_); }

}  // namespace plenova::platform
