// Named missing values shared by every record, date and index field.
#pragma once

namespace tv {
constexpr int kMissInt = -9999;
constexpr float kMissFloat = -9999.0f;

constexpr bool is_miss(int v) { return v == kMissInt; }
constexpr bool is_miss(float v) { return v == kMissFloat; }
}  // namespace tv
