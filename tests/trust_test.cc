// The hashes, HMAC and the base encodings against the published vectors
// (tests/data/trust, read by the project's own JSON reader), through the
// portable code and the CPU's own where it has some; and the decodings
// that must be refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "load.h"
#include "trust.h"

static scalars load(const char *name)
{
	return load(std::string(TRUST_DATA_DIR "/") + name);
}

static std::string unhex(const std::string &h)
{
	std::string out(h.size() / 2 + 1, '\0');
	size_t n;
	const char *bad = basein(base_hex, pad_never, h.data(), h.size(), reinterpret_cast<unsigned char *>(&out[0]), &n);
	EXPECT_EQ(bad, nullptr) << h;
	out.resize(bad == nullptr ? n : 0);
	return out;
}

static std::string hex(const unsigned char *p, size_t n)
{
	std::string out(2 * n + 1, '\0');
	out.resize(baseout(base_hex, &out[0], p, n, false));
	return out;
}

// One vector: a digest where key is absent, else an HMAC whose first
// bits of tag are compared, expected to match or not.
struct vec {
	std::string where;
	hashalg alg;
	bool mac, valid;
	std::string key, msg, tag;	// bytes, bytes, hex
	size_t repeat;			// msg this many times
};

static std::vector<vec> vectors()
{
	std::vector<vec> all;
	scalars f = load("fips180-4-examples.json");
	for (int i = 0; f.count("/cases/" + std::to_string(i) + "/alg"); i++) {
		std::string c = "/cases/" + std::to_string(i) + "/";
		vec v = {"FIPS 180-4 " + c, alg_sha1, false, true, "", f[c + "message_ascii"], f[c + "digest"], 1};
		EXPECT_TRUE(hashnamed(f[c + "alg"].c_str(), &v.alg));
		if (f.count(c + "message"))
			v.msg = "a", v.repeat = 1000000;
		all.push_back(v);
	}
	for (const char *name : {"rfc2202-hmac-sha1.json", "rfc4231-hmac-sha2.json"}) {
		f = load(name);
		for (int i = 0; f.count("/cases/" + std::to_string(i) + "/key"); i++) {
			std::string c = "/cases/" + std::to_string(i) + "/";
			for (const char *a : {"sha1", "sha256", "sha384", "sha512"}) {
				std::string tag = f[c + "hmac_" + a];
				hashalg alg;
				if (!tag.empty() && hashnamed(a, &alg))
					all.push_back({name + c, alg, true, true, unhex(f[c + "key"]), unhex(f[c + "data"]), tag, 1});
			}
		}
	}
	for (const char *a : {"sha1", "sha256", "sha512"}) {
		std::string name = std::string("wycheproof/hmac_") + a + "_test.json";
		f = load(name.c_str());
		hashalg alg = alg_sha1;
		hashnamed(a, &alg);
		for (int g = 0; f.count("/testGroups/" + std::to_string(g) + "/tagSize"); g++) {
			std::string gp = "/testGroups/" + std::to_string(g) + "/";
			for (int i = 0; f.count(gp + "tests/" + std::to_string(i) + "/tcId"); i++) {
				std::string c = gp + "tests/" + std::to_string(i) + "/";
				all.push_back({name + c, alg, true, f[c + "result"] == "valid", unhex(f[c + "key"]),
					       unhex(f[c + "msg"]), f[c + "tag"], 1});
			}
		}
	}
	return all;
}

TEST(trust, vectors)
{
	std::vector<vec> all = vectors();
	EXPECT_GT(all.size(), 540u);
	for (bool portable : {true, false}) {
		hashportable(portable);
		for (const vec &v : all) {
			unsigned char out[hashmost];
			std::string tag = unhex(v.tag);
			if (v.mac) {
				hmac m;
				hmacstart(&m, v.alg, v.key.data(), v.key.size());
				hmacadd(&m, v.msg.data(), v.msg.size());
				hmacend(&m, out);
			} else {
				// Fed in pieces of every size, across the blocks.
				hash h;
				hashstart(&h, v.alg);
				for (size_t i = 0; i < v.repeat; i++)
					for (size_t at = 0, step = 1; at < v.msg.size(); at += step, step = step * 2 + 1)
						hashadd(&h, v.msg.data() + at, std::min(step, v.msg.size() - at));
				hashend(&h, out);
			}
			bool same = tag.size() <= hashsize(v.alg) && sameconst(out, tag.size(), tag.data(), tag.size());
			EXPECT_EQ(same, v.valid) << v.where << (portable ? " (portable)" : "") << ": " << hex(out, hashsize(v.alg));
		}
	}
	hashportable(false);
}

TEST(trust, encodings)
{
	scalars f = load("rfc4648-base.json");
	std::vector<std::string> raw, b64, url, hexes;
	for (int i = 0; f.count("/cases/" + std::to_string(i) + "/input"); i++) {
		std::string c = "/cases/" + std::to_string(i) + "/";
		raw.push_back(f[c + "input"]), b64.push_back(f[c + "base64"]), url.push_back("");
		hexes.push_back(f[c + "base16"]);
	}
	for (int i = 0; f.count("/base64url_extra/" + std::to_string(i) + "/input_hex"); i++) {
		std::string c = "/base64url_extra/" + std::to_string(i) + "/";
		raw.push_back(unhex(f[c + "input_hex"])), b64.push_back(f[c + "base64"]);
		url.push_back(f[c + "base64url_nopad"]), hexes.push_back("");
	}
	EXPECT_GE(raw.size(), 10u);
	for (size_t i = 0; i < raw.size(); i++) {
		struct {
			basekind k;
			bool pad;
			std::string text;
		} ways[] = {{base_64, true, b64[i]}, {base_64url, false, url[i]}, {base_hex, false, hexes[i]}};
		for (const auto &w : ways) {
			if (w.text.empty() && !raw[i].empty())
				continue;
			std::string out(baselen(w.k, raw[i].size(), w.pad) + 1, '\0');
			out.resize(baseout(w.k, &out[0], raw[i].data(), raw[i].size(), w.pad));
			// RFC 4648 writes base16 in upper case, which is read as well.
			std::string low = w.text;
			for (char &c : low)
				c = static_cast<char>(c >= 'A' && c <= 'F' && w.k == base_hex ? c + 32 : c);
			EXPECT_EQ(out, low) << i;
			std::string back(w.text.size(), '\0');
			size_t n;
			EXPECT_EQ(basein(w.k, w.pad ? pad_must : pad_may, w.text.data(), w.text.size(),
					 reinterpret_cast<unsigned char *>(&back[0]), &n), nullptr) << w.text;
			back.resize(n);
			EXPECT_EQ(back, raw[i]) << w.text;
		}
	}
}

// Everything but the one canonical text is refused, and where.
TEST(trust, refused)
{
	struct {
		basekind k;
		basepad pad;
		const char *text;
		const char *why;	// null: decodes
		size_t at;
	} cases[] = {
		{base_64, pad_must, "Zm9v", nullptr, 0},
		{base_64, pad_must, "Zm8", "padding missing", 3},
		{base_64, pad_must, "Zm8==", "wrong padding", 3},
		{base_64, pad_must, "Zm9v====", "wrong padding", 4},
		{base_64, pad_must, "Zm=8", "padding before the end", 3},
		{base_64, pad_must, "Zm9=", "bits left over that are not zero (not the canonical encoding)", 2},
		{base_64, pad_must, "Zh==", "bits left over that are not zero (not the canonical encoding)", 1},
		{base_64, pad_must, "Z===", "a length that no encoding has", 0},
		{base_64, pad_must, "Zm9v\n", "a blank or a line break", 4},
		{base_64, pad_must, "Zm 9v", "a blank or a line break", 2},
		{base_64, pad_must, "Zm9-", "base64url's alphabet in base64", 3},
		{base_64url, pad_may, "Zm8", nullptr, 0},
		{base_64url, pad_may, "Zm8=", nullptr, 0},
		{base_64url, pad_may, "Zm8==", "wrong padding", 3},
		{base_64url, pad_never, "Zm8=", "padding where none belongs", 3},
		{base_64url, pad_may, "Zm+8", "base64's alphabet in base64url", 2},
		{base_64url, pad_may, "Zm9v*", "a character outside the alphabet", 4},
		{base_64url, pad_may, "Zm9", "bits left over that are not zero (not the canonical encoding)", 2},
		{base_hex, pad_never, "0aF9", nullptr, 0},
		{base_hex, pad_never, "0a9", "an odd number of hex digits", 3},
		{base_hex, pad_never, "0g", "not a hex digit", 1},
		{base_hex, pad_never, "0G", "not a hex digit", 1},
	};
	for (const auto &c : cases) {
		unsigned char out[16];
		size_t n;
		const char *why = basein(c.k, c.pad, c.text, strlen(c.text), out, &n);
		EXPECT_STREQ(why, c.why) << c.text;
		if (c.why != nullptr) {
			EXPECT_EQ(n, c.at) << c.text;
		}
	}
}

// One-time passwords: RFC 4226's HOTP values and RFC 6238's TOTP values,
// each under the seed of its hash's length that the RFC's code uses; and
// base32 secrets, read strictly.
TEST(trust, otp)
{
	std::string text, path = TRUST_DATA_DIR "/rfc4226-rfc6238.txt";
	FILE *f = fopen(path.c_str(), "r");
	ASSERT_NE(f, nullptr);
	char line[256];
	int n = 0;
	while (fgets(line, sizeof line, f) != nullptr) {
		char kind[8], alg[8], code[16];
		unsigned long long at;
		if (line[0] == '#' || sscanf(line, "%7s %7s %*[a-z]=%llu %15s", kind, alg, &at, code) != 4)
			continue;
		hashalg a;
		ASSERT_TRUE(hashnamed(alg, &a)) << line;
		std::string seed;
		while (seed.size() < hashsize(a))
			seed += "1234567890";
		seed.resize(hashsize(a));
		int digits = static_cast<int>(strlen(code));
		unsigned long v = hotp(a, seed.data(), seed.size(), kind[0] == 't' ? at / 30 : at, digits);
		EXPECT_EQ(v, strtoul(code, nullptr, 10)) << line;
		n++;
	}
	fclose(f);
	EXPECT_EQ(n, 28);
	struct {
		const char *text, *bytes, *why;
		size_t at;
	} cases[] = {
		{"GEZDGNBVGY3TQOJQ", "1234567890", nullptr, 0},
		{"GE======", "1", nullptr, 0},
		{"GE", "1", nullptr, 0},
		{"GEZA", "12", nullptr, 0},
		{"GEZDG", "123", nullptr, 0},
		{"GEZDGNA", "1234", nullptr, 0},
		{"GEZDGNA=", "1234", nullptr, 0},
		{"GEZDGNBVGY3TQOJQ====", nullptr, "wrong padding", 16},
		{"GE=====", nullptr, "wrong padding", 2},
		{"GEZ", nullptr, "a length that no encoding has", 3},
		{"GF", nullptr, "bits left over that are not zero (not the canonical encoding)", 1},
		{"ge", nullptr, "a lower-case letter, which base32 does not have", 0},
		{"GE Z", nullptr, "a character outside base32's alphabet", 2},
		{"G1", nullptr, "a character outside base32's alphabet", 1},
		{"G=E", nullptr, "padding before the end", 2},
	};
	for (const auto &c : cases) {
		unsigned char out[16];
		size_t len;
		const char *why = base32in(c.text, strlen(c.text), out, &len);
		EXPECT_STREQ(why, c.why) << c.text;
		if (c.why == nullptr)
			EXPECT_EQ(std::string(reinterpret_cast<char *>(out), len), c.bytes) << c.text;
		else
			EXPECT_EQ(len, c.at) << c.text;
	}
}

// Wycheproof's Ed25519 and ECDSA P-256 cases, in DER and as r and s, and
// RFC 8032's three: every valid one holds, every invalid one does not.
// A cross build's test runs where the target's libraries may be missing.
TEST(trust, signatures)
{
	struct {
		const char *file;
		sigalg alg;
		bool rs;
		size_t cases;
	} files[] = {
		{"wycheproof/ed25519_test.json", sig_ed25519, false, 151},
		{"wycheproof/ecdsa_secp256r1_sha256_test.json", sig_p256, false, 484},
		{"wycheproof/ecdsa_secp256r1_sha256_p1363_test.json", sig_p256, true, 262},
	};
	for (const auto &f : files) {
		scalars v = load(f.file);
		size_t n = 0;
		for (int g = 0; v.count("/testGroups/" + std::to_string(g) + "/type"); g++) {
			std::string gp = "/testGroups/" + std::to_string(g) + "/";
			std::string key = unhex(f.alg == sig_ed25519 ? v[gp + "publicKey/pk"] : v[gp + "publicKeyDer"]);
			for (int i = 0; v.count(gp + "tests/" + std::to_string(i) + "/tcId"); i++, n++) {
				std::string c = gp + "tests/" + std::to_string(i) + "/";
				std::string msg = unhex(v[c + "msg"]), sig = unhex(v[c + "sig"]);
				bool good;
				const char *why = sigcheck(f.alg, reinterpret_cast<const unsigned char *>(key.data()), key.size(),
							   reinterpret_cast<const unsigned char *>(sig.data()), sig.size(), f.rs,
							   msg.data(), msg.size(), &good);
#ifdef CROSS_BUILD
				if (why != nullptr && strstr(why, "cannot be loaded") != nullptr)
					GTEST_SKIP() << why;
#endif
				ASSERT_EQ(why, nullptr) << f.file << c;
				// nettle refuses one valid signature, crafted so that its
				// check adds a point to itself: a false refusal, never a
				// forgery, which sigverify(1) names.
				bool refused = f.alg == sig_p256 && v[c + "tcId"] == (f.rs ? "204" : "427");
				EXPECT_EQ(good, v[c + "result"] == "valid" && !refused)
					<< f.file << " tcId " << v[c + "tcId"] << ": " << v[c + "comment"];
			}
		}
		EXPECT_EQ(n, f.cases) << f.file;
	}
	// RFC 8032 section 7.1's TEST 1 to 3, and each with a bit of its
	// message or signature changed.
	FILE *t = fopen(TRUST_DATA_DIR "/rfc8032-ed25519.txt", "r");
	ASSERT_NE(t, nullptr);
	std::map<std::string, std::string> field;
	char line[512];
	while (fgets(line, sizeof line, t) != nullptr) {
		char name[32], value[400];
		if (sscanf(line, "TEST%*d %31[A-Z]=%399s", name, value) == 2)
			field[std::string(line, strcspn(line, " ")) + name] = strcmp(value, "(empty)") == 0 ? "" : value;
	}
	fclose(t);
	int tests = 0;
	for (const char *test : {"TEST1", "TEST2", "TEST3"}) {
		std::string pk = unhex(field[std::string(test) + "PUBLIC"]), msg = unhex(field[std::string(test) + "MESSAGE"]),
			    sig = unhex(field[std::string(test) + "SIGNATURE"]);
		for (int change = 0; change < 3; change++) {
			std::string m = msg, s = sig;
			if (change == 1)
				m += '\0';
			if (change == 2)
				s[10] ^= 1;
			bool good;
			const char *why = sigcheck(sig_ed25519, reinterpret_cast<const unsigned char *>(pk.data()), pk.size(),
						   reinterpret_cast<const unsigned char *>(s.data()), s.size(), false, m.data(),
						   m.size(), &good);
#ifdef CROSS_BUILD
			if (why != nullptr)
				GTEST_SKIP() << why;
#endif
			ASSERT_EQ(why, nullptr);
			EXPECT_EQ(good, change == 0) << test << " change " << change;
		}
		tests++;
	}
	EXPECT_EQ(tests, 3);
}

TEST(trust, sameconst)
{
	EXPECT_TRUE(sameconst("abc", 3, "abc", 3));
	EXPECT_TRUE(sameconst("", 0, "", 0));
	EXPECT_FALSE(sameconst("abc", 3, "abd", 3));
	EXPECT_FALSE(sameconst("ab", 2, "abc", 3));
	EXPECT_FALSE(sameconst("", 0, "a", 1));
	EXPECT_FALSE(sameconst("abc", 3, "", 0));
}
