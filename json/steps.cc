// A run of jsonparse, shared by the program and the builtin: the command
// line, the value at a pointer, and every value of a text.
#include <cstdlib>
#include <cstring>

#include "json.h"
#include "lines.h"

const char jsonusage[] = "usage: jsonparse [-s] [-t | -c] [-l | -z] [-M] [-g POINTER]... [json]";

const char *jsonoptions(int argc, char *const argv[], jsonjob *job, bool patterns)
{
	*job = {};
	job->pointer = "";
	int i = 1;
	for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i++) {
		if (argv[i][1] == '-' && argv[i][2] == '\0') {
			i++;
			break;
		}
		for (const char *o = argv[i] + 1; *o != '\0'; o++) {
			if (*o == 's' || *o == 'M') {
				(*o == 's' ? job->strict : job->must) = true;
				continue;
			}
			const char *clash = nullptr;
			if (lineswitch(*o, &job->lines, &job->sep, &clash)) {
				if (clash != nullptr)
					return clash;
				continue;
			}
			if (*o == 't' || *o == 'c') {
				if (job->what != 0 && job->what != *o)
					return "-t and -c: one or the other";
				job->what = *o;
				job->given = true;
				continue;
			}
			if (*o != 'g')
				return jsonusage;
			job->pointer = o[1] != '\0' ? o + 1 : i + 1 < argc ? argv[++i] : nullptr;
			if (job->pointer == nullptr)
				return "-g: option requires an argument";
			job->given = true;
			const char *why = jsonpointer(job->pointer, patterns);
			if (why != nullptr)
				return why;
			if (job->npointers == jsonmaxget)
				return "-g: more than 64 pointers";
			job->pointers[job->npointers++] = job->pointer;
			break;
		}
	}
	if (i < argc - (job->lines ? 0 : 1))
		return jsonusage;
	if (!job->lines && !patterns && job->npointers > 1)
		return "-g given more than once, which -l or -z takes alone";
	if (job->npointers == 0)
		job->pointers[job->npointers++] = "";
	job->text = i < argc ? argv[i] : nullptr;
	return nullptr;
}

// A value of the line mode, escaped as a TSV field.
struct tsv {
	jsonout *out;
	void *arg;
};

static bool field(void *arg, const char *s, size_t n)
{
	const tsv *t = static_cast<const tsv *>(arg);
	size_t from = 0;
	for (size_t i = 0; i < n; i++) {
		const char *e = s[i] == '\\' ? "\\\\" : s[i] == '\t' ? "\\t" : s[i] == '\n' ? "\\n" :
				s[i] == '\r' ? "\\r" : nullptr;
		if (e == nullptr)
			continue;
		if ((i > from && !t->out(t->arg, s + from, i - from)) || !t->out(t->arg, e, 2))
			return false;
		from = i + 1;
	}
	return n == from || t->out(t->arg, s + from, n - from);
}

const char *jsonfields(json *j, const jsonjob *job, const char *s, size_t n, jsonout *out, void *arg)
{
	tsv t = {out, arg};
	for (int i = 0; i < job->npointers; i++) {
		if (i > 0 && !out(arg, "\t", 1))
			return "write error";
		jsonmem(j, s, n, job->strict);
		bool absent = false;
		const char *why = jsonget(j, job->pointers[i], job->what, field, &t, &absent, job->what == 0);
		if (why != nullptr && !(absent && !job->must))
			return why;
	}
	return nullptr;
}

static bool at(const json *j, const char *pointer, size_t n)
{
	return j->ptr.n == n && (n == 0 || jsoncmp(j->ptr.p, pointer, n) == 0);
}

const char *jsonget(json *j, const char *pointer, char what, jsonout *out, void *arg, bool *absent, bool nullempty)
{
	static char none[200];
	size_t plen = strlen(pointer);
	bool found = false, scalar = false;
	// With 'c', the type of a value that has no members, or else none.
	const char *nocount = nullptr;
	// Within the value, where it is a container: the depth of the member at
	// hand below it.
	int depth = 0;
	jsonbuf b = {};
	bool ok = true;
	// The result is made in b, a scalar at the pointer as its bytes and
	// within a container as compact JSON text, and handed out whenever
	// 64 KiB of it are there, and at the end.
	auto flush = [&]() {
		ok = ok && (b.n == 0 || out(arg, b.p, b.n));
		b.n = 0;
	};
	auto put = [&](const char *s, size_t n) {
		jsonadd(&b, s, n);
		if (b.n >= 65536)
			flush();
	};
	auto quoted = [&](const char *s, size_t n) {
		jsonstr(&b, s, n);
		if (b.n >= 65536)
			flush();
	};
	for (;;) {
		jsonevent e = jsonnext(j);
		if (!ok || b.bad) {
			jsonfree(&b);
			return b.bad ? "out of memory" : "write error";
		}
		if (e == jsonfailed) {
			jsonfree(&b);
			return j->msg;
		}
		if (e == jsondone)
			break;
		if (depth == 0) {
			// Outside the value: only its start, and a scalar's pieces.
			if (e == jsonvalue && !found && at(j, pointer, plen)) {
				found = true;
				if (what == 't') {
					put(jsontypes[j->type], strlen(jsontypes[j->type]));
				} else if (what == 'c' && j->type < jsonarray) {
					nocount = jsontypes[j->type];
				} else if (what == 'c') {
					depth = 1;
				} else if (j->type >= jsonarray) {
					put(j->type == jsonobject ? "{" : "[", 1);
					depth = 1;
				} else if (!(nullempty && j->type == jsonnull)) {
					put(j->data, j->len);
					scalar = j->more;
				}
			} else if (e == jsonmore && scalar) {
				put(j->data, j->len);
				scalar = j->more;
			}
			continue;
		}
		// Within the value, a container: its members as JSON text, or
		// with 'c' their count when it closes.
		if (what == 'c') {
			if (e == jsonvalue && j->type >= jsonarray)
				depth++;
			if (e == jsonclose && --depth == 0) {
				char n[24];
				put(n, jsonnum(n, 0, sizeof n, j->count));
			}
			continue;
		}
		if (e == jsonclose) {
			put(j->type == jsonobject ? "}" : "]", 1);
			depth--;
			continue;
		}
		if (e == jsonvalue) {
			put(",", jsonfirst(j) ? 0 : 1);
			if (jsonnamed(j)) {
				put("\"", 1);
				quoted(j->name.p, j->name.n);
				put("\":", 2);
			}
			if (j->type >= jsonarray) {
				put(j->type == jsonobject ? "{" : "[", 1);
				depth++;
				continue;
			}
			put("\"", j->type == jsonstring ? 1 : 0);
		}
		if (j->type == jsonstring) {
			quoted(j->data, j->len);
			put("\"", j->more ? 0 : 1);
		} else {
			put(j->data, j->len);
		}
	}
	flush();
	jsonfree(&b);
	if (!ok)
		return "write error";
	if (found && nocount == nullptr)
		return nullptr;
	if (absent != nullptr)
		*absent = !found;
	size_t k = found ? 0 : jsoncat(none, 0, sizeof none, "no value at ", 12);
	k = jsoncat(none, k, sizeof none, pointer, plen);
	if (found) {
		k = jsoncat(none, k, sizeof none, plen > 0 ? ": " : "the whole text: ", plen > 0 ? 2 : 16);
		k = jsoncat(none, k, sizeof none, nocount[0] == 'a' ? "an " : "a ", nocount[0] == 'a' ? 3 : 2);
		k = jsoncat(none, k, sizeof none, nocount, strlen(nocount));
		jsoncat(none, k, sizeof none, ", not an array or object", 24);
	}
	return none;
}

static void entry(jsonflat *f, const json *j)
{
	if (f->n == f->cap) {
		size_t cap = f->cap == 0 ? 64 : 2 * f->cap;
		jsonentry *e = static_cast<jsonentry *>(realloc(f->v, cap * sizeof *e));
		if (e == nullptr) {
			f->bytes.bad = true;
			return;
		}
		f->v = e;
		f->cap = cap;
	}
	jsonentry *e = &f->v[f->n++];
	e->ptr = f->bytes.n;
	jsonadd(&f->bytes, j->ptr.p != nullptr ? j->ptr.p : "", j->ptr.n);
	jsonadd(&f->bytes, "", 1);
	e->value = f->bytes.n;
	jsonadd(&f->bytes, j->data, j->type >= jsonarray ? 0 : j->len);
	jsonadd(&f->bytes, "", 1);
	e->type = j->type;
	e->named = jsonnamed(j);
	e->index = jsonplace(j);
}

static const char *toomany(char *m, size_t size, const char *what, unsigned long long most, const char *option)
{
	size_t k = jsoncat(m, 0, size, "more than ", 10);
	k = jsonnum(m, k, size, most);
	k = jsoncat(m, k, size, what, strlen(what));
	k = jsoncat(m, k, size, "; ", 2);
	jsoncat(m, jsoncat(m, k, size, option, 2), size, " raises the limit", 17);
	return m;
}

const char *jsonall(json *j, jsonflat *f, unsigned long maxvalues, unsigned long long maxbytes,
		    const char *const *patterns, int npatterns)
{
	// The entry of each open container, whose count comes at its end, or
	// none for one that is not kept.
	const size_t none = ~static_cast<size_t>(0);
	size_t open[jsondepth + 1];
	int depth = 0;
	bool kept = true;	// the value at hand, whose pieces may follow
	static char m[120];
	for (;;) {
		jsonevent e = jsonnext(j);
		if (f->bytes.bad)
			return "out of memory";
		if (e == jsonfailed)
			return j->msg;
		if (e == jsondone)
			return nullptr;
		if (e == jsonvalue && patterns != nullptr) {
			int how = jsonunder(j->ptr.p != nullptr ? j->ptr.p : "", j->ptr.n, patterns, npatterns);
			kept = how == 2 || (how == 1 && j->type >= jsonarray);
		}
		if (e == jsonclose && open[depth - 1] == none) {
			depth--;
			continue;
		}
		if (!kept && e == jsonvalue && j->type >= jsonarray) {
			open[depth++] = none;
			continue;
		}
		if (!kept && e != jsonclose)
			continue;	// a value not kept, or a piece of one
		// A value's pointer alone may be long: it is checked before it is
		// copied.
		if (e == jsonvalue && f->n == maxvalues)
			return toomany(m, sizeof m, " values", maxvalues, "-n");
		size_t adds = e == jsonvalue ? j->ptr.n + 2 + j->len : e == jsonmore ? j->len : 22;
		if (f->bytes.n + adds > maxbytes)
			return toomany(m, sizeof m, " bytes of pointers and values", maxbytes, "-m");
		if (e == jsonvalue) {
			entry(f, j);
			if (j->type >= jsonarray)
				open[depth++] = f->n - 1;
		} else if (e == jsonmore) {
			// The value is the last thing in the buffer: its NUL goes,
			// the piece and a NUL come.
			f->bytes.n--;
			jsonadd(&f->bytes, j->data, j->len);
			jsonadd(&f->bytes, "", 1);
		} else if (e == jsonclose) {
			// The count, known only now, goes at the end.
			char c[24];
			size_t n = jsonnum(c, 0, sizeof c, j->count);
			jsonentry *x = &f->v[open[--depth]];
			x->value = f->bytes.n;
			jsonadd(&f->bytes, c, n);
			jsonadd(&f->bytes, "", 1);
		}
	}
}

void jsonflatfree(jsonflat *f)
{
	jsonfree(&f->bytes);
	free(f->v);
	*f = {};
}

static bool keep(void *arg, const char *s, size_t n)
{
	lineout *o = static_cast<lineout *>(arg);
	lineadd(o, s, n);
	return !o->bad;
}

// The reader holds a piece of a value from one record to the next:
// zeroed, and no page of it touched before it is used.
static json reader;

static const char *record(void *arg, char *rec, size_t n, lineout *out)
{
	const char *why = jsonfields(&reader, static_cast<const jsonjob *>(arg), rec, n, keep, out);
	jsonagain(&reader);
	return why != nullptr && out->bad ? "a result over 1 MiB" : why;
}

int jsoneach(const jsonjob *job, linereader *rd, linesay *say)
{
	return eachline("jsonparse", job->sep, record, const_cast<jsonjob *>(job), rd, say, true);
}
