// Random integers, random texts, shuffling and picking from lists of texts.
// Every call first reseeds the calling thread's runtime generator from the
// performance counter, so the results are unsuitable for security uses and
// ranges wider than 32768 values are not covered evenly.
#pragma once

#include <vector>

#include "platform/text/cstring.h"

// 0 when low equals high (0 and 0 included). A value from low up to, not
// including, high when high is not 0 and at least low. Otherwise (high 0 or
// below low) a value from 0 up to, not including, |low|; 0 when low is 0.
int RandomInRange(int low, int high);
// RandomInRange, one less when that is odd: always even (-3 becomes -4).
int RandomEvenInRange(int low, int high);
// `length` characters drawn from `alphabet`; empty for a length of 0 or
// less and for an empty alphabet.
CString RandomString(int length, const CString &alphabet);
// Shuffles the list in place.
void ShuffleStrings(std::vector<CString> &list);
// A random element of the list other than the one at excludeIndex (an index
// outside the list excludes nothing); empty when no element is left.
CString PickRandomString(const std::vector<CString> &list, int excludeIndex);
