// CPoint: a position and a velocity per step, in single precision.
#pragma once

namespace plenova::engine {

class CPoint {
public:
    void MoveTo(float x, float Y) {
        x_ = x;
        y_ = Y;
    }
    // Adds the velocity; a result beyond the single-precision range is an overflow error.
    void Step();
    float x() const { return x_; }
    float Y() const { return y_; }
    float Xv() const { return xv_; }
    float Yv() const { return yv_; }
    void set_Xv(float v) { xv_ = v; }
    void set_Yv(float v) { yv_ = v; }

private:
    float x_ = 0;
    float y_ = 0;
    float xv_ = 0;
    float yv_ = 0;
};

}  // namespace plenova::engine
