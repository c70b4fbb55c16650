// The integer reading of attribute and header text that every reader of a
// number in a document shares, so that a value means one thing everywhere
// (the package tree shows a "state" as the runs count it).
#pragma once

// Integer value of text: leading white space skipped, an optional sign,
// decimal digits up to the first non-digit; 0 when there are none and for
// null. Values beyond the range of int are clamped.
int ReadIntegerText(const char* text);
