// hookverify: a webhook's body on standard input, passed on only once its
// signature holds.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "intern.h"
#include "request.h"

// A header's value: from -H, whose name is matched as CGI names it
// (HTTP_ and the name in upper case, '-' as '_'; Content-Type and
// Content-Length as CONTENT_TYPE and CONTENT_LENGTH), or else from the
// environment.
static const char *header(void *arg, const char *name)
{
	const job *j = static_cast<const job *>(arg);
	for (int h = j->nheaders - 1; h >= 0; h--) {
		const char *given = j->headers[h], *colon = strchr(given, ':');
		bool plain = same(name, "CONTENT_TYPE") || same(name, "CONTENT_LENGTH");
		const char *want = name + (plain ? 0 : 5);
		size_t n = static_cast<size_t>(colon - given);
		if (strlen(want) != n)
			continue;
		size_t i = 0;
		for (; i < n; i++) {
			char c = given[i] >= 'a' && given[i] <= 'z' ? static_cast<char>(given[i] - 32) : given[i] == '-' ? '_' : given[i];
			if (c != want[i])
				break;
		}
		if (i == n)
			return colon + 1 + strspn(colon + 1, " \t");
	}
	return getenv(name);
}

// The body whole, checked, and only then given back to be written.
char *hookverifyrun(int argc, char *const argv[], keyvarfn *, size_t *len, const char **why)
{
	job jb = {};
	const job *j = &jb;
	hookscheme scheme;
	*len = 0;
	if ((*why = options("hookverify", argc, argv, &jb)) != nullptr)
		return nullptr;
	if (!hooknamed(jb.schemename, &scheme)) {
		*why = says("-S: a scheme of github, stripe, slack, shopify, standard, twilio, gitlab, twitch, discord, telnyx and sendgrid, not ", jb.schemename);
		return nullptr;
	}
	bytes keys[keysmost] = {};
	hookkey k[keysmost];
	char *out = nullptr;
	reqstatus st;
	request *r = static_cast<request *>(calloc(1, sizeof *r));
	const char *bad = r == nullptr ? "cannot allocate memory" : loadkeys(j, nullptr, keys);
	if (bad != nullptr) {
		*why = bad;
		goto done;
	}
	for (int i = 0; i < j->nfiles; i++)
		k[i] = {keys[i].p, keys[i].n};
	if ((r->hook = reqsign(scheme, header, const_cast<job *>(j), k, j->nfiles, j->tolerance, j->url, &st, msg,
			       sizeof msg)) == nullptr) {
		*why = msg;
		goto done;
	}
	for (int i = 0; i < keysmost; i++)
		drop(&keys[i]);
	{
		// Exactly CONTENT_LENGTH bytes where it is set (RFC 3875: empty
		// where there is no body), and to the end of the input where not.
		const char *length = header(const_cast<job *>(j), "CONTENT_LENGTH");
		r->ms = j->waitms;
		r->waited = j->waitname;
		r->replays = j->replays;
		r->window = hooktimed(scheme) ? j->tolerance : j->again > 0 ? j->again : 86400;
		r->whole = true;
		r->limit = inputmost;
		st = reqread(r, 0, length != nullptr && *length == '\0' ? "0" : length,
				       header(const_cast<job *>(j), "CONTENT_TYPE"));
		if (st != req_ok) {
			*why = says(r->msg, "");	// r is freed below
			goto done;
		}
	}
	out = r->body;
	*len = r->bodylen;
	r->body = nullptr;
done:
	for (int i = 0; i < keysmost; i++)
		drop(&keys[i]);
	if (r != nullptr)
		reqfree(r, false);
	free(r);
	return out;
}
