// The base decoders on any bytes: whatever decodes encodes back to the
// very text it came from, so no two texts give one value. Each hash of
// the bytes, fed in two pieces, is the same through the portable code and
// the CPU's own. The JWT reader takes the bytes as a token, and a token
// signed of them as claims gives those claims back, compact.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <string>

#include "jwt.h"
#include "trust.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size == 0)
		return 0;
	static const basekind kinds[] = {base_64, base_64url, base_hex};
	static const basepad pads[] = {pad_must, pad_never, pad_may};
	basekind k = kinds[data[0] % 3];
	basepad p = pads[data[0] / 3 % 3];
	const char *text = reinterpret_cast<const char *>(data + 1);
	size_t n = size - 1;
	unsigned char *out = static_cast<unsigned char *>(malloc(n + 1));
	size_t len;
	if (basein(k, p, text, n, out, &len) == nullptr) {
		bool padded = memchr(text, '=', n) != nullptr || (p == pad_must && n % 4 == 0);
		char *back = static_cast<char *>(malloc(baselen(k, len, padded) + 1));
		size_t m = baseout(k, back, out, len, padded);
		// Hex is read in either case and written in lower case.
		for (size_t i = 0; k == base_hex && i < n; i++)
			if (back[i] >= 'a' && back[i] <= 'f' && text[i] == back[i] - 32)
				back[i] = text[i];
		if (m != n || memcmp(back, text, n) != 0)
			abort();
		free(back);
	} else if (len > n) {
		abort();
	}
	free(out);
	size_t cut = data[0] % (size + 1);
	static const hashalg algs[] = {alg_sha1, alg_sha256, alg_sha384, alg_sha512};
	for (hashalg a : algs) {
		unsigned char d[2][hashmost];
		for (int portable = 0; portable < 2; portable++) {
			hashportable(portable != 0);
			hash h;
			hashstart(&h, a);
			hashadd(&h, data, cut);
			hashadd(&h, data + cut, size - cut);
			hashend(&h, d[portable]);
		}
		if (memcmp(d[0], d[1], hashsize(a)) != 0)
			abort();
	}
	std::string bytes(text, n);
	static const unsigned char secret[64] = {1, 2, 3};
	jwtkey key = {secret, sizeof secret};
	jsonbuf claims = {}, token = {}, back = {};
	jwtverify(bytes.c_str(), "HS512", &key, 1, 0, 0, &claims);
	if (jwtsign(bytes.data(), bytes.size(), "HS256", &key, &token) == nullptr) {
		// Only its dates may refuse a token just signed; and what it
		// reads back signs to the very same token.
		const char *why = jwtverify(token.p, "HS256", &key, 1, 1000000000000000LL, 0, &back);
		if (why != nullptr && strstr(why, "is not a date") == nullptr)
			abort();
		jsonbuf again = {};
		if (why == nullptr && (jwtsign(back.p, back.n, "HS256", &key, &again) != nullptr ||
				       strcmp(again.p, token.p) != 0))
			abort();
		jsonfree(&again);
	}
	jsonfree(&claims);
	jsonfree(&token);
	jsonfree(&back);
	return 0;
}
