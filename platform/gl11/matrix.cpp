// matrix.cpp - the GL layer's matrix maths in single precision, with each product and each
// generated matrix built in the same order of operations as Mesa's fixed-function transform, so
// that vertices land on the same sub-pixel positions and depths as on Mesa's own path.
#include <cmath>

#include "platform/gl11/layer.h"

namespace gl11 {

const Matrix matrixIdentity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

namespace {

// Element (row, column) of a column-major matrix.
inline float& at(Matrix& m, int row, int column) {
    return m.m[column * 4 + row];
}
inline float at(const Matrix& m, int row, int column) {
    return m.m[column * 4 + row];
}

} // namespace

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix p;
    for (int i = 0; i < 4; ++i) {
        const float ai0 = at(a, i, 0), ai1 = at(a, i, 1), ai2 = at(a, i, 2), ai3 = at(a, i, 3);
        for (int j = 0; j < 4; ++j) {
            at(p, i, j) =
                ai0 * at(b, 0, j) + ai1 * at(b, 1, j) + ai2 * at(b, 2, j) + ai3 * at(b, 3, j);
        }
    }
    return p;
}

bool rotationMatrix(float degrees, float x, float y, float z, Matrix& out) {
    // The angle goes to radians in double precision, then sine and cosine in single.
    const float s = std::sin(static_cast<float>(degrees * M_PI / 180.0));
    const float c = std::cos(static_cast<float>(degrees * M_PI / 180.0));
    out = matrixIdentity;
    // A rotation about one axis is built directly: the general formula would leave rounding
    // noise in the entries that are exactly 0 and 1.
    if (x == 0.0f && y == 0.0f && z != 0.0f) {
        at(out, 0, 0) = c;
        at(out, 1, 1) = c;
        at(out, 0, 1) = z < 0.0f ? s : -s;
        at(out, 1, 0) = z < 0.0f ? -s : s;
        return true;
    }
    if (x == 0.0f && z == 0.0f && y != 0.0f) {
        at(out, 0, 0) = c;
        at(out, 2, 2) = c;
        at(out, 0, 2) = y < 0.0f ? -s : s;
        at(out, 2, 0) = y < 0.0f ? s : -s;
        return true;
    }
    if (y == 0.0f && z == 0.0f && x != 0.0f) {
        at(out, 1, 1) = c;
        at(out, 2, 2) = c;
        at(out, 1, 2) = x < 0.0f ? s : -s;
        at(out, 2, 1) = x < 0.0f ? -s : s;
        return true;
    }
    const float magnitude = std::sqrt(x * x + y * y + z * z);
    if (magnitude <= 1.0e-4f) {
        return false; // no axis: the matrix stays as it is
    }
    x /= magnitude;
    y /= magnitude;
    z /= magnitude;
    const float xx = x * x, yy = y * y, zz = z * z;
    const float xy = x * y, yz = y * z, zx = z * x;
    const float xs = x * s, ys = y * s, zs = z * s;
    const float oneC = 1.0f - c;
    at(out, 0, 0) = (oneC * xx) + c;
    at(out, 0, 1) = (oneC * xy) - zs;
    at(out, 0, 2) = (oneC * zx) + ys;
    at(out, 1, 0) = (oneC * xy) + zs;
    at(out, 1, 1) = (oneC * yy) + c;
    at(out, 1, 2) = (oneC * yz) - xs;
    at(out, 2, 0) = (oneC * zx) - ys;
    at(out, 2, 1) = (oneC * yz) + xs;
    at(out, 2, 2) = (oneC * zz) + c;
    return true;
}

Matrix frustumMatrix(float left, float right, float bottom, float top, float nearVal,
                     float farVal) {
    const float x = (2.0f * nearVal) / (right - left);
    const float y = (2.0f * nearVal) / (top - bottom);
    const float a = (right + left) / (right - left);
    const float b = (top + bottom) / (top - bottom);
    const float c = -(farVal + nearVal) / (farVal - nearVal);
    const float d = -(2.0f * farVal * nearVal) / (farVal - nearVal);
    Matrix m{};
    at(m, 0, 0) = x;
    at(m, 0, 2) = a;
    at(m, 1, 1) = y;
    at(m, 1, 2) = b;
    at(m, 2, 2) = c;
    at(m, 2, 3) = d;
    at(m, 3, 2) = -1.0f;
    return m;
}

Matrix orthoMatrix(float left, float right, float bottom, float top, float nearVal, float farVal) {
    Matrix m{};
    at(m, 0, 0) = 2.0f / (right - left);
    at(m, 0, 3) = -(right + left) / (right - left);
    at(m, 1, 1) = 2.0f / (top - bottom);
    at(m, 1, 3) = -(top + bottom) / (top - bottom);
    at(m, 2, 2) = -2.0f / (farVal - nearVal);
    at(m, 2, 3) = -(farVal + nearVal) / (farVal - nearVal);
    at(m, 3, 3) = 1.0f;
    return m;
}

void translateInPlace(Matrix& t, float x, float y, float z) {
    float* m = t.m;
    m[12] = m[0] * x + m[4] * y + m[8] * z + m[12];
    m[13] = m[1] * x + m[5] * y + m[9] * z + m[13];
    m[14] = m[2] * x + m[6] * y + m[10] * z + m[14];
    m[15] = m[3] * x + m[7] * y + m[11] * z + m[15];
}

void scaleInPlace(Matrix& t, float x, float y, float z) {
    float* m = t.m;
    m[0] *= x;
    m[4] *= y;
    m[8] *= z;
    m[1] *= x;
    m[5] *= y;
    m[9] *= z;
    m[2] *= x;
    m[6] *= y;
    m[10] *= z;
    m[3] *= x;
    m[7] *= y;
    m[11] *= z;
}

bool isIdentity(const Matrix& m) {
    for (int i = 0; i < 16; ++i) {
        if (m.m[i] != matrixIdentity.m[i]) {
            return false;
        }
    }
    return true;
}

} // namespace gl11
