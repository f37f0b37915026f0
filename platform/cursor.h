// Cursor position in screen pixels (the classic GetCursorPos). The real service asks Qt
// (QCursor::pos); the test double answers positions a test scripts.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>

#include "platform/service_slot.h"

namespace plenova::platform {

struct ScreenPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

class CursorService {
public:
    virtual ~CursorService() = default;
    virtual ScreenPoint Position() = 0;
};

// The service in use. Until one is installed it is a ScriptedCursor standing at (0, 0), so that
// logic without a desktop never touches Qt.
CursorService& Cursor();
// Installs a service (nullptr: a fresh ScriptedCursor at (0, 0)); returns the previous one.
std::shared_ptr<CursorService> SetCursorService(std::shared_ptr<CursorService> service);
inline ScreenPoint CursorPosition() { return Cursor().Position(); }

// Test double. Each Position() call takes the next queued position; when the queue is empty it
// keeps answering the last position given (initially (0, 0)).
class ScriptedCursor : public CursorService {
public:
    ScreenPoint Position() override;
    // Moves the cursor now: every later call answers this position (clears the queue).
    void Set(std::int32_t x, std::int32_t y);
    // Queues a position for one later call.
    void Queue(std::int32_t x, std::int32_t y);
    int Calls() const noexcept { return calls_; }

private:
    ScreenPoint current_;
    std::deque<ScreenPoint> queue_;
    int calls_ = 0;
};

// Installs a ScriptedCursor for the lifetime of the object and restores the previous one.
using ScopedScriptedCursor = ScopedService<CursorService, ScriptedCursor, &SetCursorService>;

}  // namespace plenova::platform
