// The trace on standard output.
#pragma once

// printf rules. The text is formatted first and written in one piece, so
// that a console never receives half of a double-byte character.
void Trace(const char* fmt, ...);
