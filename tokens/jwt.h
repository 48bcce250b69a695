// JSON Web Tokens (RFC 7519) signed with HMAC (RFC 7515's JWS, compact
// form): HS256, HS384 and HS512. The algorithm is always the caller's to
// name, never the token's; what is not three canonical base64url parts,
// JSON read strictly (a name twice refused), is refused.
#ifndef JWT_H
#define JWT_H
#include <cstddef>

#include "json.h"
#include "trust.h"

// "HS256", "HS384" or "HS512" to its hash; false for any other name.
bool jwtalg(const char *name, hashalg *a);
// "EdDSA" (Ed25519, RFC 8037) or "ES256" (ECDSA P-256 with SHA-256) to
// its algorithm, which jwtverify checks with a public key, as sigverify
// takes one; false for any other name. Such tokens are verified, never
// signed, here.
bool jwtpublic(const char *name, sigalg *a);

// Whether token holds, signed by any of the nkeys keys with the algorithm
// named (alg, its name; for EdDSA and ES256, public keys), and is current: exp and nbf, where given, against
// now, leeway seconds either way, and iat no later than now and the
// leeway; and, where want says, issued by its issuer (iss, a string equal
// to it), for its audience (aud, a string equal to it or an array that
// holds one), and with each claim that its comma-separated list names.
// Returns null with the claims, as a compact JSON text, in claims; or
// what is wrong, in one line.
struct jwtkey {
	const unsigned char *p;
	size_t n;
};
struct jwtwant {
	const char *issuer, *audience, *required;	// each null for none
};
const char *jwtverify(const char *token, const char *alg, const jwtkey *keys, int nkeys, long long leeway,
		      long long now, jsonbuf *claims, const jwtwant *want = nullptr);
// A token of the claims (a JSON object, n bytes at json), signed with
// the key by the algorithm named; null with it in token, or what is wrong.
const char *jwtsign(const char *json, size_t n, const char *alg, const jwtkey *key, jsonbuf *token);
#endif
