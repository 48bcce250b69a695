// Preloaded into a program under test: every allocation of 64 KiB or more
// fails as it does when memory has run out, while stdio's small buffers
// are still served.
#include <cerrno>
#include <cstddef>

extern "C" void *__libc_malloc(size_t size);

extern "C" void *malloc(size_t size)
{
	if (size >= 65536) {
		errno = ENOMEM;
		return nullptr;
	}
	return __libc_malloc(size);
}
