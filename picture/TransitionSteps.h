#pragma once

#include <cstdint>

namespace qlm {

// Effect numbers as the picture block carries them and the settings store them.
enum TransitionEffect : int {
  kNoEffect = 0,
  kRandom = 1,
  kCrossH = 2,
  kCrossV = 3,
  kRasterH = 4,
  kRasterV = 5,
  kRasterCloseH = 6,
  kRasterCloseV = 7,
  kRasterOpenH = 8,
  kRasterOpenV = 9,
  kWiperH = 10,
  kWiperV = 11,
};
constexpr int kTransitionEffectCount = 12;

// The name the settings pages offer for an effect ("NoEffect" .. "WiperV"); empty for a number
// outside 0..11.
const char* TransitionEffectName(int effect);

// The effect that actually runs: Random becomes (clock_ms mod 10) + 2, so never 0 or 1; a number
// outside 0..11 runs as RasterH; 0 and 2..11 stay as they are.
int ResolveTransitionEffect(int effect, uint32_t clock_ms);

// One step of a transition: the lines it copies from the next picture to the shown one, in
// order. A step of the closing and opening effects may name the same line twice, and some steps
// name the line just past the area (the extent itself); that copy still costs its step.
struct TransitionStep {
  enum Kind { kWholeArea, kColumns, kRows };
  Kind kind = kWholeArea;
  int count = 0;          // valid entries of `lines`: 0 for kWholeArea, else 1 or 2
  int lines[2] = {0, 0};  // column x or row y, 0 <= line <= extent
};

// The steps of one effect over an area, as pure arithmetic: At(i) is step i of Count(). The V
// effects walk rows over the height exactly as the H effects walk columns over the width.
class TransitionSteps {
 public:
  // `effect` should be resolved already; Random and unknown numbers run as RasterH here.
  // Negative sizes count as 0.
  TransitionSteps(int effect, int width, int height);

  int Effect() const { return effect_; }
  // Width for column effects, height for row effects, 0 for NoEffect.
  int Extent() const { return extent_; }
  int Count() const { return count_; }
  // Step `index`, 0 <= index < Count().
  TransitionStep At(int index) const;

 private:
  int effect_;    // one of 0, 2..11
  int extent_;    // lines across the area in the direction of the effect
  int count_;     // number of steps
  int last_odd_;  // first line of the odd comb walked backwards: extent-1 if even, else extent
};

}  // namespace qlm
