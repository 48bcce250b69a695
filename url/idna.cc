// International domain names through Debian's libidn2, loaded when the
// first host needs it, so that a program or builtin that never meets one
// links and loads the C library alone.
#include <cstring>
#include <dlfcn.h>

#include "intern.h"
#include "text.h"

// libidn2's own, as its header declares them.
typedef int lookupfn(const unsigned char *src, unsigned char **out, int flags);
typedef int unicodefn(const char *src, char **out, int flags);
typedef void freefn(void *p);
typedef const char *strerrorfn(int rc);
enum { transitional = 4, nontransitional = 8, std3 = 32, idna2008 = 64, disallowed = -304 };

static lookupfn *lookup;
static unicodefn *unicode;
static freefn *idnfree;
static strerrorfn *idnerror;

static bool load()
{
	static bool tried;
	if (!tried) {
		tried = true;
		void *h = dlopen("libidn2.so.0", RTLD_NOW | RTLD_LOCAL);
		if (h != nullptr) {
			lookup = reinterpret_cast<lookupfn *>(dlsym(h, "idn2_lookup_u8"));
			unicode = reinterpret_cast<unicodefn *>(dlsym(h, "idn2_to_unicode_8z8z"));
			idnfree = reinterpret_cast<freefn *>(dlsym(h, "idn2_free"));
			idnerror = reinterpret_cast<strerrorfn *>(dlsym(h, "idn2_strerror"));
		}
	}
	return lookup != nullptr && unicode != nullptr && idnfree != nullptr && idnerror != nullptr;
}

// UTS #46 ToASCII, non-transitional, as the standard asks: CheckBidi and
// CheckJoiners always, CheckHyphens, UseSTD3ASCIIRules and VerifyDnsLength
// with strict. libidn2 checks hyphens and lengths always, so where the
// standard would take a label that breaks them, this refuses it.
// Punycode in an ASCII domain is decoded and encoded again, and must come
// back the same, which takes the place of UTS #46's check of its labels.
//
// In its non-transitional mode libidn2 also refuses what IDNA2008
// disallows, symbols such as U+2615 among them, which UTS #46 takes. Its
// transitional mode does not; and the two modes differ only on four
// characters, so for a name with none of them it gives what
// non-transitional processing would. *odd then says that IDNA 2008
// disallows the name, or else that it holds what IDNA 2003 would leave
// unmapped, as readers differ on either.
bool deviation(const char *s, size_t n, bool capital)
{
	for (size_t i = 0; i + 1 < n; i++)
		if (samebytes(s + i, "\xC3\x9F", 2) || samebytes(s + i, "\xCF\x82", 2) ||
		    (i + 2 < n && (samebytes(s + i, "\xE2\x80\x8C", 3) || samebytes(s + i, "\xE2\x80\x8D", 3) ||
				   (capital && samebytes(s + i, "\xE1\xBA\x9E", 3)))))
			return true;
	return false;
}

// Whether each code point of the UTF-8 at z was assigned in Unicode 3.2,
// the repertoire of IDNA 2003, which passes any other through unmapped
// where UTS #46 maps it: "\xEA\xAD\xB0" (U+AB70) is xn--kz9a to one and,
// mapped to U+13A0, xn--58d to the other.
static bool unicode32(const char *z)
{
	static const struct {
		long lo, hi;
	} assigned[] = {
#include "unicode32.inc"
	};
	const unsigned char *p = reinterpret_cast<const unsigned char *>(z);
	for (size_t i = 0, n = length(z), len; i < n; i += len) {
		long c = utf8point(p + i, n - i, &len);
		if (c < 0)
			return false;
		size_t lo = 0, hi = sizeof assigned / sizeof assigned[0];
		while (lo < hi) {
			size_t mid = (lo + hi) / 2;
			if (c > assigned[mid].hi)
				lo = mid + 1;
			else
				hi = mid;
		}
		if (lo == sizeof assigned / sizeof assigned[0] || c < assigned[lo].lo)
			return false;
	}
	return true;
}

// Whether the UTF-8 at z holds a letter that Unicode 3.2 had and that has
// taken a lower case since: IDNA 2003 readers that lower by today's tables
// (Python's) map it where UTS #46 keeps it, so "\xE1\x8E\xA0" (U+13A0,
// Cherokee capital a) is xn--58d to one and, lowered to U+AB70, xn--kz9a
// to the other. Every code point of 3.2 was put through both: the
// Cherokee capitals of 3.2, U+13A0 to U+13F4, are all that differ.
static bool recased(const char *z)
{
	const unsigned char *p = reinterpret_cast<const unsigned char *>(z);
	for (size_t i = 0, n = length(z), len; i < n; i += len) {
		long c = utf8point(p + i, n - i, &len);
		if (c < 0)
			return false;
		if (c >= 0x13A0 && c <= 0x13F4)
			return true;
	}
	return false;
}

const char *toascii(const char *domain, size_t n, bool strict, str *out, const char **odd)
{
	*odd = nullptr;
	if (!load())
		return "an international domain name needs libidn2 (libidn2.so.0), which cannot be loaded";
	str in = {};
	add(&in, domain, n);
	if (in.bad)
		return "out of memory";
	const char *why = nullptr;
	char *u = nullptr;
	bool ascii = true;
	for (size_t i = 0; i < n; i++)
		ascii = ascii && static_cast<unsigned char>(domain[i]) < 0x80;
	int rc = 0;
	if (ascii && (rc = unicode(text(&in), &u, 0)) != 0)
		why = idnerror(rc);
	unsigned char *a = nullptr;
	const char *s = u != nullptr ? u : text(&in);
	const unsigned char *b = reinterpret_cast<const unsigned char *>(s);
	int flags = strict ? std3 : 0;
	if (why == nullptr && (rc = lookup(b, &a, nontransitional | flags)) == disallowed && !deviation(s, length(s), false)) {
		rc = lookup(b, &a, transitional | flags);
		*odd = "IDNA-2008-disallowed";
	}
	if (why == nullptr && rc != 0)
		why = idnerror(rc);
	// The name as UTS #46 mapped it must be one that IDNA 2008 allows as
	// it stands, with no mapping; and it, and the name as it came, must
	// hold only what Unicode 3.2 knew.
	char *mapped = nullptr;
	unsigned char *again = nullptr;
	if (why == nullptr && unicode(reinterpret_cast<const char *>(a), &mapped, 0) != 0)
		*odd = "IDNA-2008-disallowed";
	if (why == nullptr && *odd == nullptr &&
	    lookup(reinterpret_cast<const unsigned char *>(mapped), &again, idna2008) != 0)
		*odd = "IDNA-2008-disallowed";
	if (why == nullptr && *odd == nullptr && (!unicode32(s) || !unicode32(mapped)))
		*odd = "IDNA-unassigned-in-Unicode-3.2";
	if (why == nullptr && *odd == nullptr && (recased(s) || recased(mapped)))
		*odd = "IDNA-case-changed-after-Unicode-3.2";
	idnfree(again);
	if (why == nullptr)
		addz(out, reinterpret_cast<const char *>(a));
	idnfree(mapped);
	idnfree(a);
	idnfree(u);
	release(&in);
	return why;
}
