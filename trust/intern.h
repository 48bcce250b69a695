// Between the hashes' files: the routines that take whole blocks.
#ifndef TRUST_INTERN_H
#define TRUST_INTERN_H
#include <cstddef>
#include <cstdint>

// SHA-256's round constants, for both routes.
extern const uint32_t k256[64];

typedef void blocksfn(uint32_t *h, const unsigned char *p, size_t blocks);
blocksfn sha1portable, sha256portable;
// The CPU's own, or null where it has none.
blocksfn *sha1native();
blocksfn *sha256native();
#endif
