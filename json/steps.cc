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
		// Of the bytes above '\r', only '\\' is escaped: most bytes
		// are told by two comparisons.
		unsigned char c = static_cast<unsigned char>(s[i]);
		if (c > '\r' && c != '\\')
			continue;
		const char *e = c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : nullptr;
		if (e == nullptr)
			continue;
		if ((i > from && !t->out(t->arg, s + from, i - from)) || !t->out(t->arg, e, 2))
			return false;
		from = i + 1;
	}
	return n == from || t->out(t->arg, s + from, n - from);
}

// One pointer's value, as jsonparse prints it, made from the events of a
// text in b: a scalar's bytes, a container's compact text, a type, or a
// count. depth is that of the event at hand within the value, 0 outside.
struct getter {
	const char *pointer;
	size_t plen;
	char what;
	bool nullempty, found, scalar;
	const char *nocount;	// with 'c', the type of a value that has no members
	int depth;
	jsonbuf b;
	// Where a scalar's pieces go as they come, not through b, and whether
	// that failed.
	jsonout *out;
	void *arg;
	bool failed;
};

static void getting(getter *g, const char *pointer, char what, bool nullempty)
{
	jsonbuf b = g->b;
	*g = {};
	g->pointer = pointer;
	g->plen = strlen(pointer);
	g->what = what;
	g->nullempty = nullempty;
	g->b = {b.p, 0, b.cap, false};
}

static bool at(const json *j, const char *pointer, size_t n)
{
	return j->ptr.n == n && (n == 0 || jsoncmp(j->ptr.p, pointer, n) == 0);
}

static void feed(getter *g, json *j, jsonevent e)
{
	jsonbuf *b = &g->b;
	if (g->depth == 0) {
		// Outside the value: only its start, and a scalar's pieces.
		if (e == jsonvalue && !g->found && at(j, g->pointer, g->plen)) {
			g->found = true;
			if (g->what == 't') {
				jsonadd(b, jsontypes[j->type], strlen(jsontypes[j->type]));
			} else if (g->what == 'c' && j->type < jsonarray) {
				g->nocount = jsontypes[j->type];
			} else if (g->what == 'c') {
				g->depth = 1;
			} else if (j->type >= jsonarray) {
				jsonadd(b, j->type == jsonobject ? "{" : "[", 1);
				g->depth = 1;
			} else if (!(g->nullempty && j->type == jsonnull)) {
				g->scalar = true;
			}
		}
		if (g->scalar && (e == jsonvalue || e == jsonmore)) {
			if (g->out != nullptr)
				g->failed = g->failed || !g->out(g->arg, j->data, j->len);
			else
				jsonadd(b, j->data, j->len);
			g->scalar = j->more;
		}
		return;
	}
	// Within the value, a container: its members as JSON text, or with 'c'
	// their count when it closes.
	if (g->what == 'c') {
		if (e == jsonvalue && j->type >= jsonarray)
			g->depth++;
		if (e == jsonclose && --g->depth == 0) {
			char n[24];
			jsonadd(b, n, jsonnum(n, 0, sizeof n, j->count));
		}
		return;
	}
	if (e == jsonclose) {
		jsonadd(b, j->type == jsonobject ? "}" : "]", 1);
		g->depth--;
		return;
	}
	if (e == jsonvalue) {
		jsonadd(b, ",", jsonfirst(j) ? 0 : 1);
		if (jsonnamed(j)) {
			jsonadd(b, "\"", 1);
			jsonstr(b, j->name.p, j->name.n);
			jsonadd(b, "\":", 2);
		}
		if (j->type >= jsonarray) {
			jsonadd(b, j->type == jsonobject ? "{" : "[", 1);
			g->depth++;
			return;
		}
		jsonadd(b, "\"", j->type == jsonstring ? 1 : 0);
	}
	if (j->type == jsonstring) {
		jsonstr(b, j->data, j->len);
		jsonadd(b, "\"", j->more ? 0 : 1);
	} else {
		jsonadd(b, j->data, j->len);
	}
}

// Whether the container that has just begun holds anything that one of
// the n getters needs: a value that one of them makes, or the way to one
// not yet found. What none needs is passed over, read but not built.
static bool needed(const json *j, const getter *g, int n)
{
	for (int i = 0; i < n; i++) {
		if (g[i].depth > 0 && g[i].what != 'c')
			return true;
		if (!g[i].found && g[i].plen > j->ptr.n && g[i].pointer[j->ptr.n] == '/' &&
		    (j->ptr.n == 0 || jsoncmp(j->ptr.p, g[i].pointer, j->ptr.n) == 0))
			return true;
	}
	return false;
}

// The text read to its end for the n getters; null, or what is wrong.
static const char *getall(json *j, getter *g, int n, jsonout *out, void *arg)
{
	for (;;) {
		jsonevent e = jsonnext(j);
		if (e == jsonfailed)
			return j->msg;
		if (e == jsondone)
			return nullptr;
		size_t held = 0;
		for (int i = 0; i < n; i++) {
			feed(&g[i], j, e);
			held += g[i].b.n;
			if (g[i].b.bad || g[i].failed)
				return g[i].failed ? "write error" : "out of memory";
		}
		if (e == jsonvalue && j->type >= jsonarray && !needed(j, g, n))
			jsonskip(j);
		// One value alone is handed out whenever 64 KiB of it are there;
		// several are held to the end, as their order is the pointers'.
		if (out != nullptr && held >= 65536) {
			if (!out(arg, g->b.p, g->b.n))
				return "write error";
			g->b.n = 0;
		} else if (held > resultmax) {
			return "a result over 1 MiB";
		}
	}
}

// What was found for g, once the text is whole and good: null, or what is
// wrong, with *absent set where the pointer named nothing.
static const char *found(const getter *g, bool *absent)
{
	static char none[200];
	if (g->found && g->nocount == nullptr)
		return nullptr;
	if (absent != nullptr)
		*absent = !g->found;
	size_t k = g->found ? 0 : jsoncat(none, 0, sizeof none, "no value at ", 12);
	k = jsoncat(none, k, sizeof none, g->pointer, g->plen);
	if (g->found) {
		const char *t = g->nocount;
		k = jsoncat(none, k, sizeof none, g->plen > 0 ? ": " : "the whole text: ", g->plen > 0 ? 2 : 16);
		k = jsoncat(none, k, sizeof none, t[0] == 'a' ? "an " : "a ", t[0] == 'a' ? 3 : 2);
		k = jsoncat(none, k, sizeof none, t, strlen(t));
		jsoncat(none, k, sizeof none, ", not an array or object", 24);
	}
	return none;
}

// The fields of a record that the quick reading has found good, from where
// each value lies: a plain string's bytes, a number's or a word's as they
// stand, a null as nothing, and any other value read alone.
static const char *spanned(json *j, const jsonjob *job, const char *s, const jsonspan *spans, getter *g,
			   jsonout *out, void *arg)
{
	tsv t = {out, arg};
	for (int i = 0; i < job->npointers; i++) {
		if (i > 0 && !out(arg, "\t", 1))
			return "write error";
		if (!spans[i].found) {
			getting(g, job->pointers[i], 0, true);
			if (job->must)
				return found(g, nullptr);
			continue;
		}
		const char *v = s + spans[i].at;
		size_t n = spans[i].len, k = 1;
		while (v[0] == '"' && k < n - 1 && v[k] != '\\')
			k++;
		// A string found good holds no control byte, so one with no
		// backslash has nothing to escape in a field, nor has a number,
		// true or false.
		bool ok = true;
		if (v[0] == '"' && k == n - 1) {
			ok = out(arg, v + 1, n - 2);
		} else if (v[0] != '"' && v[0] != '{' && v[0] != '[') {
			ok = v[0] == 'n' || out(arg, v, n);
		} else {
			jsonmem(j, v, n, job->strict);
			getting(g, "", 0, true);
			const char *why = getall(j, g, 1, nullptr, nullptr);
			if (why != nullptr)
				return why;
			ok = field(&t, g->b.p, g->b.n);
		}
		if (!ok)
			return "write error";
	}
	return nullptr;
}

const char *jsonfields(json *j, const jsonjob *job, jsonshapes *shapes, const char *s, size_t n, jsonout *out,
		       void *arg)
{
	// Each pointer's value, held from one record to the next.
	static getter g[jsonmaxget];
	tsv t = {out, arg};
	jsonspan spans[jsonmaxget];
	if (job->what == 0 && jsonscan(s, n, job->strict, job->pointers, job->npointers, shapes, spans)) {
		const char *why = spanned(j, job, s, spans, g, out, arg);
		if (g->b.cap > 65536)
			jsonfree(&g->b);
		return why;
	}
	for (int i = 0; i < job->npointers; i++)
		getting(&g[i], job->pointers[i], job->what, job->what == 0);
	jsonmem(j, s, n, job->strict);
	jsonwant(j, job->pointers, job->npointers);
	const char *why = getall(j, g, job->npointers, nullptr, nullptr);
	for (int i = 0; i < job->npointers && why == nullptr; i++) {
		bool absent = false;
		why = found(&g[i], &absent);
		if (why != nullptr && absent && !job->must)
			why = nullptr;
		if (why == nullptr && ((i > 0 && !out(arg, "\t", 1)) || !field(&t, g[i].b.p, g[i].b.n)))
			why = "write error";
	}
	for (int i = 0; i < job->npointers; i++)
		if (g[i].b.cap > 65536)
			jsonfree(&g[i].b);
	return why;
}

const char *jsonget(json *j, const char *pointer, char what, jsonout *out, void *arg, bool *absent, bool nullempty)
{
	getter g = {};
	getting(&g, pointer, what, nullempty);
	g.out = out;
	g.arg = arg;
	jsonwant(j, &pointer, 1);
	const char *why = getall(j, &g, 1, out, arg);
	if (why == nullptr && g.b.n > 0 && !out(arg, g.b.p, g.b.n))
		why = "write error";
	jsonfree(&g.b);
	return why != nullptr ? why : found(&g, absent);
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
	if (patterns != nullptr)
		jsonwant(j, patterns, npatterns);
	for (;;) {
		jsonevent e = jsonnext(j);
		if (f->bytes.bad)
			return "out of memory";
		if (e == jsonfailed)
			return j->msg;
		if (e == jsondone)
			return nullptr;
		// The reader announces only what is at or under a pattern, and
		// what is on the way to one, of which a container is kept.
		if (e == jsonvalue && patterns != nullptr)
			kept = j->all || j->type >= jsonarray;
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

// A run of the line mode: the job, and the shapes of the last good
// records, which most records of a log share.
struct run {
	const jsonjob *job;
	jsonshapes shapes;
};

static const char *record(void *arg, char *rec, size_t n, lineout *out)
{
	run *r = static_cast<run *>(arg);
	const char *why = jsonfields(&reader, r->job, &r->shapes, rec, n, keep, out);
	jsonagain(&reader);
	return why != nullptr && out->bad ? "a result over 1 MiB" : why;
}

int jsoneach(const jsonjob *job, linereader *rd, linesay *say)
{
	// No shape yet: what says so is set, and the rest, some 14 KiB, left
	// untouched until a shape is kept there.
	static run r;
	r.job = job;
	r.shapes.two[0].n = r.shapes.two[1].n = 0;
	r.shapes.last = 0;
	r.shapes.misses = r.shapes.wait = 0;
	return eachline("jsonparse", job->sep, record, &r, rd, say, true);
}
