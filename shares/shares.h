// The share calculator, shared by the program and the shell builtin.
#ifndef SHARES_H
#define SHARES_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sys/types.h>

// How bytes are read: as read(2) does, or as the shell would, which runs
// its traps when a signal interrupts a read and then reads on.
typedef ssize_t reader(int fd, char *buf, size_t len);

// Reads five integers from fd as "%d %d %d %d %d" reads them, and no more:
// the byte that ends the fifth number is taken, as read takes its
// delimiter, and nothing after it, on a pipe, a terminal or a file alike,
// so the rest is left to the caller's script. Bad input is taken up to the
// byte that made it bad. Reads with rd, or read(2) where rd is null.
// Returns true, or false with a one-line message in msg.
bool readfive(int fd, int32_t v[5], char *msg, size_t size, reader *rd = nullptr);

// One value's share of the total, in percent, with the extended format's
// rounding on every target.
double share(int32_t v, int32_t total);

// The five shares and the wrapped total, as "%4.2f ... %d" with no newline,
// into line, or onto out. A line never needs more than linesize bytes.
enum { linesize = 128 };
void formatshares(char line[linesize], const int32_t v[5]);
void printshares(FILE *out, const int32_t v[5]);

// The six fields of such a line, in place, as they show but without the
// padding that "%4.2f" adds: ' inf' is 'inf'.
void splitshares(char *line, char *field[6]);

#endif
