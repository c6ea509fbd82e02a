#include "picture/TransitionSteps.h"

namespace qlm {

namespace {

const char* const kEffectNames[kTransitionEffectCount] = {
    "NoEffect",     "Random",       "CrossH",      "CrossV",      "RasterH", "RasterV",
    "RasterCloseH", "RasterCloseV", "RasterOpenH", "RasterOpenV", "WiperH",  "WiperV"};

bool IsRows(int effect) {
  switch (effect) {
    case kCrossV:
    case kRasterV:
    case kRasterCloseV:
    case kRasterOpenV:
    case kWiperV:
      return true;
    default:
      return false;
  }
}

}  // namespace

const char* TransitionEffectName(int effect) {
  if (effect < 0 || effect >= kTransitionEffectCount) return "";
  return kEffectNames[effect];
}

int ResolveTransitionEffect(int effect, uint32_t clock_ms) {
  if (effect == kRandom) return static_cast<int>(clock_ms % 10) + 2;
  if (effect < 0 || effect >= kTransitionEffectCount) return kRasterH;
  return effect;
}

TransitionSteps::TransitionSteps(int effect, int width, int height) {
  effect_ = effect == kRandom ? kRasterH : ResolveTransitionEffect(effect, 0);
  const int extent = IsRows(effect_) ? height : width;
  extent_ = effect_ == kNoEffect ? 0 : (extent < 0 ? 0 : extent);
  // The odd comb runs backwards from the last odd line; for an odd extent that start lies one
  // past the area, so the first backward copy falls outside.
  last_odd_ = extent_ % 2 == 0 ? extent_ - 1 : extent_;
  const int evens = (extent_ + 1) / 2;
  switch (effect_) {
    case kNoEffect:
      count_ = 1;
      break;
    case kCrossH:
    case kCrossV:
      count_ = evens;
      break;
    case kWiperH:
    case kWiperV:
      count_ = 2 * evens;
      break;
    case kRasterCloseH:
    case kRasterCloseV:
    case kRasterOpenH:
    case kRasterOpenV:
      count_ = extent_ / 2 + 1;
      break;
    default:  // RasterH, RasterV
      count_ = extent_;
      break;
  }
}

TransitionStep TransitionSteps::At(int index) const {
  TransitionStep step;
  if (effect_ == kNoEffect) return step;
  step.kind = IsRows(effect_) ? TransitionStep::kRows : TransitionStep::kColumns;
  auto one = [&step](int a) {
    step.count = 1;
    step.lines[0] = a;
  };
  auto two = [&step](int a, int b) {
    step.count = 2;
    step.lines[0] = a;
    step.lines[1] = b;
  };
  const int evens = (extent_ + 1) / 2;
  switch (effect_) {
    case kCrossH:
    case kCrossV:
      two(2 * index, last_odd_ - 2 * index);
      break;
    case kWiperH:
    case kWiperV:
      if (index < evens)
        one(2 * index);
      else
        one(last_odd_ - 2 * (index - evens));
      break;
    case kRasterCloseH:
    case kRasterCloseV:
      two(index, extent_ - index);
      break;
    case kRasterOpenH:
    case kRasterOpenV: {
      const int middle = extent_ / 2;
      two(middle - index, extent_ - middle + index);
      break;
    }
    default:
      one(index);
      break;
  }
  return step;
}

}  // namespace qlm
