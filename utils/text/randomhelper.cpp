#include "utils/text/randomhelper.h"

#include <algorithm>
#include <cstdint>

#include "platform/system/threads.h"
#include "platform/text/crtrand.h"
#include "utils/text/texthelper.h"

namespace {

// Seeds with the low 32 bits of the performance counter; without a counter
// the generator simply continues.
void Reseed() {
  LARGE_INTEGER frequency;
  LARGE_INTEGER counter;
  if (QueryPerformanceFrequency(&frequency) && QueryPerformanceCounter(&counter)) crt_srand(counter.LowPart);
}

}  // namespace

int RandomInRange(int low, int high) {
  Reseed();
  if (low == high) return 0;
  if (high != 0 && high >= low) {
    // The span is computed in 64 bits: high - low can exceed the int range.
    const std::int64_t span = static_cast<std::int64_t>(high) - low;
    return static_cast<int>(low + crt_rand() % span);
  }
  if (low == 0) return 0;
  return crt_rand() % low;
}

int RandomEvenInRange(int low, int high) {
  Reseed();
  const int value = RandomInRange(low, high);
  return value % 2 != 0 ? value - 1 : value;
}

CString RandomString(int length, const CString &alphabet) {
  Reseed();
  CString text;
  if (alphabet.IsEmpty()) return text;
  for (int i = 0; i < length; ++i) text += alphabet.GetAt(crt_rand() % alphabet.GetLength());
  return text;
}

void ShuffleStrings(std::vector<CString> &list) {
  Reseed();
  std::shuffle(list.begin(), list.end(), CrtRandomEngine());
}

CString PickRandomString(const std::vector<CString> &list, int excludeIndex) {
  Reseed();
  std::vector<CString> candidates = list;
  EraseStringAt(candidates, excludeIndex);
  const int index = RandomInRange(0, static_cast<int>(candidates.size()));
  if (index < 0 || static_cast<size_t>(index) >= candidates.size()) return CString();
  return candidates[index];
}
