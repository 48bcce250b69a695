// A run of httphead, shared by the program and the builtin: the command
// line, the head or the value read, and what is printed of it.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "http.h"
#include "httpjob.h"
#include "intern.h"
#include "lines.h"
#include "text.h"
#include "url.h"

const char headusage[] = "usage: httphead [-s] [-m BYTES] [-F FIELDS] [-g NAME] [file]\n"
			 "       httphead -t TYPE [-s] [-b BASE] [-n NOW] [-g KEY] [-l | -z | [--] VALUE...]";

// Digits alone, of a number from 1 to most.
static bool count(const char *arg, unsigned long long most, unsigned long long *to)
{
	unsigned long long v = 0;
	for (const char *d = arg; *d != '\0'; d++) {
		if (*d < '0' || *d > '9' || v > most)
			return false;
		v = v * 10 + static_cast<unsigned>(*d - '0');
	}
	if (arg[0] == '\0' || v == 0 || v > most)
		return false;
	*to = v;
	return true;
}

const char *headoptions(int argc, char *const argv[], headjob *j)
{
	*j = {};
	j->lim = {headbytes, headfields, false};
	j->now = -1;
	int i = 1;
	for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i++) {
		if (argv[i][1] == '-' && argv[i][2] == '\0') {
			i++;
			break;
		}
		for (const char *o = argv[i] + 1; *o != '\0'; o++) {
			if (*o == 's') {
				j->lim.strict = true;
				continue;
			}
			const char *clash = nullptr;
			if (lineswitch(*o, &j->lines, &j->sep, &clash)) {
				if (clash != nullptr)
					return clash;
				continue;
			}
			if (!among(*o, "tgbnmF"))
				return headusage;
			const char *arg = o[1] != '\0' ? o + 1 : i + 1 < argc ? argv[++i] : nullptr;
			if (arg == nullptr) {
				static char need[] = "-?: option requires an argument";
				need[1] = *o;
				return need;
			}
			unsigned long long v = 0;
			switch (*o) {
			case 't':
				j->type = arg;
				j->read = fieldnamed(arg);
				if (j->read == nullptr)
					return "-t: no such type: link, date, retry-after, disposition, auth, sf-item, sf-list or sf-dict";
				break;
			case 'g':
				j->get = arg;
				break;
			case 'b':
				j->base = arg;
				break;
			case 'n':
				if (!count(arg[0] == '-' ? arg + 1 : arg, 1ULL << 53, &v) && !samestr(arg, "0"))
					return "-n: not a time in seconds since the epoch";
				j->now = arg[0] == '-' ? -static_cast<long long>(v) : static_cast<long long>(v);
				j->nowgiven = true;
				break;
			default:
				if (!count(arg, 1ULL << 30, &v))
					return *o == 'm' ? "-m: not a number of bytes from 1 to 2^30"
							 : "-F: not a number of fields from 1 to 2^30";
				(*o == 'm' ? j->lim.bytes : j->lim.fields) = static_cast<size_t>(v);
			}
			break;
		}
	}
	if (j->read == nullptr && (j->lines || j->base != nullptr || j->nowgiven))
		return "-l, -z, -b and -n go with -t";
	if (j->read == nullptr && i < argc - 1)
		return headusage;
	if (j->read != nullptr && j->lines == (i < argc))
		return j->lines ? "-l and -z read the values from standard input: give none" : headusage;
	j->values = argv + i;
	j->nvalues = static_cast<size_t>(argc - i);
	if (!j->nowgiven)
		j->now = static_cast<long long>(time(nullptr));
	return nullptr;
}

bool headbase(const headjob *j, url *base, const char **why)
{
	report r = {};
	if (j->base != nullptr && !parseurl(j->base, strlen(j->base), nullptr, base, &r)) {
		*why = "-b: not a URL";
		return false;
	}
	return true;
}

const char *headvalue(const headjob *j, const url *base, const char *s, size_t n, httpout *o)
{
	fieldjob f = {j->base != nullptr ? base : nullptr, j->now, j->lim.strict};
	httpclear(o);
	return j->read(s, n, &f, o);
}

const char *headrun(const headjob *j, ssize_t (*rd)(int, char *, size_t), httpout *o)
{
	if (j->read == nullptr) {
		if (j->nvalues == 0)
			return headread(0, rd, &j->lim, o);
		int fd = open(j->values[0], O_RDONLY | O_CLOEXEC);
		if (fd < 0)
			return strerror(errno);
		const char *why = headread(fd, nullptr, &j->lim, o);
		close(fd);
		return why;
	}
	// Several values are one field's lines, joined as a field's lines are.
	jsonbuf all = {};
	for (size_t i = 0; i < j->nvalues; i++) {
		if (i > 0)
			jsonadd(&all, ", ", 2);
		jsonadd(&all, j->values[i], strlen(j->values[i]));
	}
	url base;
	urlinit(&base);
	const char *why = all.bad ? "cannot allocate the value" : nullptr;
	if (why == nullptr && headbase(j, &base, &why))
		why = headvalue(j, &base, all.p != nullptr ? all.p : "", all.n, o);
	urlfree(&base);
	jsonfree(&all);
	return why;
}

// What is printed of a reading: the value of -g's key; or by default a
// head's status, a date's or a delay's seconds, a file name, a structured
// field's canonical form, and the links and challenges a pair a line.
const char *headprint(const headjob *j, const httpout *o, jsonbuf *out)
{
	const char *key = j->get;
	if (key == nullptr && j->read == nullptr)
		key = ":status";
	else if (key == nullptr && (j->read == dateread || j->read == retryread))
		key = j->read == dateread ? "date" : "retry-after";
	else if (key == nullptr && j->read == dispread)
		key = "filename";
	else if (key == nullptr && (j->read == sfitem || j->read == sflist || j->read == sfdict))
		key = "";
	if (key == nullptr) {
		for (size_t i = 0; i < o->n; i++) {
			jsonadd(out, httpkey(o, i), strlen(httpkey(o, i)));
			jsonadd(out, "\t", 1);
			jsonadd(out, httpvalue(o, i), strlen(httpvalue(o, i)));
			jsonadd(out, "\n", 1);
		}
		return out->bad ? "cannot allocate the result" : nullptr;
	}
	// A head's name is looked for in lower case, as it is kept; Set-Cookie
	// prints each of its lines, a line each, as they are never joined.
	char low[256];
	if (j->read == nullptr && strlen(key) < sizeof low) {
		size_t k = 0;
		for (; key[k] != '\0'; k++)
			low[k] = key[k] >= 'A' && key[k] <= 'Z' ? static_cast<char>(key[k] - 'A' + 'a') : key[k];
		low[k] = '\0';
		key = low;
	}
	bool found = false;
	for (size_t i = 0; i < o->n; i++) {
		if (!samestr(httpkey(o, i), key))
			continue;
		bool cookie = o->p[i].type != nullptr && samestr(o->p[i].type, "cookie");
		jsonadd(out, httpvalue(o, i), strlen(httpvalue(o, i)));
		if (cookie)
			jsonadd(out, "\n", 1);
		found = true;
		if (!cookie)
			break;
	}
	if (out->bad)
		return "cannot allocate the result";
	if (!found) {
		static char none[320];
		if (j->read == dispread && key[0] == 'f' && j->get == nullptr)
			return "no filename in the field";
		// The name cut on a character's boundary, past 256 bytes.
		char name[257] = "";
		textcat(name, sizeof name, key);
		none[0] = '\0';
		textcat(none, sizeof none, j->read == nullptr ? "no field " : "no key ");
		textcat(none, sizeof none, name);
		return none;
	}
	return nullptr;
}

struct eachrun {
	const headjob *j;
	url base;
	httpout o;
	jsonbuf out;
};

static const char *one(void *arg, char *rec, size_t n, lineout *out)
{
	eachrun *e = static_cast<eachrun *>(arg);
	const char *why = headvalue(e->j, &e->base, rec, n, &e->o);
	if (why == nullptr && e->o.bad)
		why = "cannot allocate the result";
	e->out.n = 0;
	if (why == nullptr)
		why = headprint(e->j, &e->o, &e->out);
	if (why == nullptr)
		lineadd(out, e->out.p != nullptr ? e->out.p : "", e->out.n);
	return why;
}

int headeach(const headjob *j, ssize_t (*rd)(int, char *, size_t), void (*say)(const char *, const char *))
{
	eachrun e = {};
	e.j = j;
	urlinit(&e.base);
	const char *why = nullptr;
	int status = 1;
	if (!headbase(j, &e.base, &why))
		say("httphead", why);
	else
		status = eachline("httphead", j->sep, one, &e, rd, say, true);
	urlfree(&e.base);
	httpfree(&e.o);
	jsonfree(&e.out);
	return status;
}
