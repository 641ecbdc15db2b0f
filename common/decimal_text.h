// Reading a number that a person typed, for the tools that take real numbers on
// their command line or at a prompt: plain decimal notation only, so that "nan",
// "inf", hexadecimal and trailing junk are refused instead of read half-way.
#pragma once

// Reads text as one finite decimal number (optional sign, digits with at most one
// point, optional exponent, surrounding blanks and a final newline allowed) into
// value. False, leaving value alone, for anything else.
bool read_decimal(const char* text, double& value);
