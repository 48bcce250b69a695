// Whether a program's output was written, in a file of its own, so that
// a program that needs only this links nothing else of the library.
#include <cerrno>
#include <cstdio>

#include "urlcode.h"

// A result that never reached its reader is a failure, whether the print,
// the flush or the close found out. Closing an already closed stdout with
// nothing to write loses nothing.
bool written()
{
	if (fflush(stdout) != 0 || ferror(stdout))
		return false;
	return fclose(stdout) == 0 || errno == EBADF;
}
