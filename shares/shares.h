// The share calculator, shared by the program and the shell builtin.
#ifndef SHARES_H
#define SHARES_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Reads five integers from fd as "%d %d %d %d %d" reads them, and no more:
// on a seekable fd the offset is left just after the fifth number, on any
// other only the byte that ends it is consumed, so the rest is left to the
// caller's script. Returns true, or false with a one-line message in msg.
bool readfive(int fd, int32_t v[5], char *msg, size_t size);

// One value's share of the total, in percent, with the extended format's
// rounding on every target.
double share(int32_t v, int32_t total);

// The five shares and the wrapped total, as "%4.2f ... %d" with no newline.
void printshares(FILE *out, const int32_t v[5]);

#endif
