// The name each executable puts before its system-error messages ("ringetch: ...").
#pragma once

// Set once by main before anything can fail; null prints the bare message.
extern const char* program_name;
