// The integer reading of attribute and header text that every reader of a
// number shares, so that a value means one thing everywhere (the package
// tree shows a "state" as the runs count it; a length, a date and a part's
// record read their digits the same way).
#pragma once

// Past the white space at `text` (blank, tab, line feed, vertical tab, form
// feed, carriage return), as the C library's number readers skip it.
const char* SkipBlanks(const char* text);

// Reads the decimal digits at `text` into *value and moves `text` past
// them; false, with nothing moved and *value 0, when there are none. Once
// the value has passed `cap` it stops growing, so that a number of any
// length ends above cap without overflowing: callers compare it with cap,
// which must be below a tenth of the type's range.
bool ReadDecimalDigits(const char*& text, unsigned long long cap, unsigned long long* value);

// Integer value of text: leading white space skipped, an optional sign,
// decimal digits up to the first non-digit; 0 when there are none and for
// null. Values beyond the range of int are clamped.
int ReadIntegerText(const char* text);
