#include "engine/cpoint.h"

#include "base/checked.h"

namespace plenova::engine {

void CPoint::Step() {
    const float x = ToSingle(double{x_} + double{xv_});
    const float y = ToSingle(double{y_} + double{yv_});
    x_ = x;
    y_ = y;
}

}  // namespace plenova::engine
