#include "platform/qt/qt_cursor.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPoint>

namespace plenova::platform {

namespace {

constinit ServiceSlot<CursorService> cursorSlot{&MakeService<CursorService, ScriptedCursor>};

}  // namespace

CursorService& Cursor() { return cursorSlot.Get(); }

std::shared_ptr<CursorService> SetCursorService(std::shared_ptr<CursorService> service) {
    return cursorSlot.Set(std::move(service));
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

}  // namespace plenova::platform
