// The price alarm's comparison: a price and a threshold compared as decimal numbers.
#pragma once

// TRUE when both texts are decimal numbers and the price is strictly greater than the
// threshold. A text is a number when, apart from surrounding blanks, it is an optional
// sign followed by digits with at most one '.' and at least one digit ("10000",
// "501.25", ".5", "7."). An empty or non-numeric text never compares greater, so an
// empty threshold or a price that was not scraped never sounds the alarm. The
// comparison is exact, digit by digit: no rounding through floating point.
bool PriceAboveThreshold(const wchar_t *price, const wchar_t *threshold);
