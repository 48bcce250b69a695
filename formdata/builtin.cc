// formdata as a bash loadable builtin: a request's body, as a CGI script
// reads it from standard input (multipart/form-data, urlencoded fields or
// a JSON text), its fields into arrays and its files into new files of
// the builtin's own.
//   enable -f formdata formdata
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include "hook.h"
#include "json.h"
#include "multipart.h"
#include "shellvar.h"
#include "tokens.h"
#include "urlcode.h"

extern "C" {
#include "bashgetopt.h"
// Not in the installed headers (sig.h of bash's sources); bash's own
// declaration. It runs the traps of the signals that have come, as zread
// does when a read is interrupted.
void check_signals_and_traps(void);
}

// A file that a part sends. It is made without a name (O_TMPFILE) and
// stays open, and so invisible, until the whole body has been read, when
// it is linked into the folder; where the folder cannot hold such a file,
// it is made under its name at once, with mkstemp.
struct saved {
	char *key, *filename;
	char *path;	// once it has a name
	int fd;		// while it has none, or is being written
};

// What one call has made so far, all of it undone when the call fails or
// bash aborts it: names and values in turn, and the files. It lives on the
// heap, as bash may run the undo after the builtin's frame is gone.
struct upload {
	char **fields;
	size_t nfields, fieldcap;
	saved *files;
	size_t nfiles, filecap;
	char *dir;	// copied, since a trap may change TMPDIR's value
	form *f;
	char *body, *copy;	// an urlencoded body, and room to decode its fields in
	json *j;		// a JSON body, as it is read
	jsonflat flat;		// and its values
	unsigned long long most, maxbytes, bytes;	// -n and -m, and the fields' bytes so far
	hookcheck *hook;	// -S: the signature, checked as the body is read
};

// -S and its keys, tolerance and URL.
struct signing {
	bool on;
	hookscheme scheme;
	const char *vars[hookkeys], *files[hookkeys];
	int nvars, nfiles;
	long long tolerance;
	const char *url;
};

// The check that the body's bytes feed as they are read, and their count.
static hookcheck *checking;
static unsigned long long checked;

static ssize_t signedread(int fd, char *buf, size_t len)
{
	ssize_t got = waitread(fd, buf, len);
	if (got > 0 && checking != nullptr) {
		hookadd(checking, buf, static_cast<size_t>(got));
		checked += static_cast<unsigned long long>(got);
	}
	return got;
}

static void push(char ***v, size_t *n, size_t *cap, char *s)
{
	if (*n == *cap) {
		*cap = *cap == 0 ? 16 : 2 * *cap;
		*v = static_cast<char **>(xrealloc(*v, *cap * sizeof **v));
	}
	(*v)[(*n)++] = s;
}

static void release(upload *u, bool keep)
{
	for (size_t i = 0; i < u->nfiles; i++) {
		saved *s = &u->files[i];
		if (s->fd >= 0)
			close(s->fd);
		if (!keep && s->path != nullptr)
			unlink(s->path);
		xfree(s->key);
		xfree(s->filename);
		xfree(s->path);
	}
	for (size_t i = 0; i < u->nfields; i++)
		xfree(u->fields[i]);
	xfree(u->files);
	xfree(u->fields);
	xfree(u->dir);
	xfree(u->f);
	xfree(u->body);
	free(u->copy);		// from malloc
	if (u->j != nullptr)
		jsonend(u->j);
	free(u->j);
	jsonflatfree(&u->flat);
	if (u->hook != nullptr) {
		wipe(u->hook, sizeof *u->hook);
		free(u->hook);
	}
	checking = nullptr;
	xfree(u);
}

static void undo(void *u)
{
	release(static_cast<upload *>(u), false);
}

// The path of a new file in the folder, formdata.XXXXXX; false after a
// message where it is too long.
static bool pathfor(const char *dir, char *path, const char *suffix)
{
	int n = snprintf(path, PATH_MAX, "%s/formdata.%s", dir, suffix);
	if (n < 0 || n >= PATH_MAX) {
		complain("%s: the folder's name is too long", dir);
		return false;
	}
	return true;
}

// A new file for the part, mode 0600: without a name where the folder's
// file system can, or else under a name of the builtin's own, which
// mkstemp makes with O_EXCL. /proc gives the unnamed one its name later.
static bool newfile(upload *u, const char *key, const char *filename)
{
	char path[PATH_MAX];
	if (!pathfor(u->dir, path, "XXXXXX"))
		return false;
	int fd = access("/proc/self/fd", X_OK) == 0 ?
		open(u->dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600) : (errno = EOPNOTSUPP, -1);
	bool named = fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL);
	if (named)
		fd = mkstemp(path);
	if (fd < 0) {
		complain("%s: cannot make a file there: %s", u->dir, strerror(errno));
		return false;
	}
	if (u->nfiles == u->filecap) {
		u->filecap = u->filecap == 0 ? 8 : 2 * u->filecap;
		u->files = static_cast<saved *>(xrealloc(u->files, u->filecap * sizeof *u->files));
	}
	saved *s = &u->files[u->nfiles++];
	s->key = savebytes(key, strlen(key));
	s->filename = savebytes(filename, strlen(filename));
	s->path = named ? savebytes(path, strlen(path)) : nullptr;
	s->fd = fd;
	return true;
}

// Each unnamed file gets its name, one that no file has: linkat, like
// O_EXCL, never replaces one. False after a message.
static bool namefiles(upload *u)
{
	static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
	for (size_t i = 0; i < u->nfiles; i++) {
		saved *s = &u->files[i];
		if (s->path != nullptr)
			continue;
		char proc[64], path[PATH_MAX], suffix[7];
		snprintf(proc, sizeof proc, "/proc/self/fd/%d", s->fd);
		int r = -1;
		for (int tries = 0; r != 0 && tries < 100; tries++) {
			unsigned char rnd[6];
			if (getrandom(rnd, sizeof rnd, 0) != static_cast<ssize_t>(sizeof rnd))
				for (size_t k = 0; k < sizeof rnd; k++)
					rnd[k] = static_cast<unsigned char>(rand());
			for (size_t k = 0; k < sizeof rnd; k++)
				suffix[k] = letters[rnd[k] % (sizeof letters - 1)];
			suffix[6] = '\0';
			if (!pathfor(u->dir, path, suffix))
				return false;
			r = linkat(AT_FDCWD, proc, AT_FDCWD, path, AT_SYMLINK_FOLLOW);
			if (r != 0 && errno != EEXIST)
				break;
		}
		if (r != 0) {
			complain("%s: cannot name a file there: %s", u->dir, strerror(errno));
			return false;
		}
		s->path = savebytes(path, strlen(path));
		close(s->fd);
		s->fd = -1;
	}
	return true;
}

static bool writeall(int fd, const char *data, size_t n)
{
	while (n > 0) {
		ssize_t w = write(fd, data, n);
		if (w < 0 && errno != EINTR)
			return false;
		if (w > 0) {
			data += w;
			n -= static_cast<size_t>(w);
		}
	}
	return true;
}

// The content of the part that formpart has just begun: a text field's
// value, or a file's bytes into a new file, which is made with the first
// byte, or at the end where the client gave a filename, so that a file
// input left empty makes none; with no folder, where no FILES would say
// where the files are, none is made. False after a message.
static bool content(upload *u, const char *key, const char *filename)
{
	const char *data, *why = nullptr;
	char *value = filename == nullptr ? savebytes("", 0) : nullptr;
	size_t len = 0, first = u->nfiles;
	ssize_t n;

	while ((n = formpiece(u->f, &data, &why)) > 0) {
		size_t m = static_cast<size_t>(n);
		if (filename == nullptr) {
			// A bash string ends at a NUL byte.
			if (memchr(data, '\0', m) != nullptr) {
				complain("%s: a NUL byte in a text field", key);
				xfree(value);
				return false;
			}
			value = static_cast<char *>(xrealloc(value, len + m + 1));
			memcpy(value + len, data, m);
			value[len += m] = '\0';
		} else if (u->dir == nullptr) {
			continue;	// no FILES to say where a file would be
		} else if (u->nfiles == first && !newfile(u, key, filename)) {
			return false;
		} else if (!writeall(u->files[first].fd, data, m)) {
			complain("%s: cannot write a file there: %s", u->dir, strerror(errno));
			return false;
		}
	}
	if (n < 0) {
		if (!waitedout())	// said once, at the end
			complain("%s", why);
		xfree(value);
		return false;
	}
	if (filename != nullptr) {
		if (u->dir != nullptr && u->nfiles == first && *filename != '\0' &&
		    !newfile(u, key, filename))
			return false;
		// A file made under its name is complete now; an unnamed one stays
		// open until it gets its name.
		saved *s = u->nfiles > first ? &u->files[first] : nullptr;
		if (s != nullptr && s->path != nullptr) {
			int fd = s->fd;
			s->fd = -1;
			if (close(fd) != 0) {
				complain("%s: %s", s->path, strerror(errno));
				return false;
			}
		}
		value = savebytes(filename, strlen(filename));
	}
	push(&u->fields, &u->nfields, &u->fieldcap, savebytes(key, strlen(key)));
	push(&u->fields, &u->nfields, &u->fieldcap, value);
	u->bytes += strlen(key) + strlen(value);
	return within(u->nfields / 2, u->bytes, u->most, u->maxbytes);
}

// An application/x-www-form-urlencoded body, read whole: a bash string
// holds no NUL byte, and a bad escape is an error, as with urldecode -s.
// False after a message.
static bool urlencoded(upload *u)
{
	const char *why, *bad;
	size_t at, n = static_cast<size_t>(formsize(u->f));
	u->body = static_cast<char *>(xmalloc(n + 1));
	if (!formall(u->f, u->body, &why)) {
		if (!waitedout())	// said once, at the end
			complain("%s", why);
		return false;
	}
	u->body[n] = '\0';
	if (memchr(u->body, '\0', n) != nullptr) {
		complain("a NUL byte in the body");
		return false;
	}
	if ((bad = badescape(u->body, &at)) != nullptr) {
		complain("byte offset %zu: %s", at, bad);
		return false;
	}
	// Counted now, before any array is emptied.
	if (!fieldsok(u->body, 'A', u->most, u->maxbytes))
		return false;
	// Each field is copied there as it is decoded, so nothing of the body
	// is copied beforehand: memory never written costs nothing.
	if (n > (SIZE_MAX - 1) / 2 || (u->copy = static_cast<char *>(malloc(2 * n + 1))) == nullptr) {
		complain("cannot allocate room to decode the body: %s", strerror(ENOMEM));
		return false;
	}
	return true;
}

// An application/json body, read as jsonparse reads a text, exactly
// CONTENT_LENGTH bytes of it. False after a message.
static bool jsontext(upload *u, bool strict, unsigned long long most, unsigned long long bytes)
{
	u->j = static_cast<json *>(calloc(1, sizeof *u->j));
	if (u->j == nullptr) {
		complain("cannot allocate the reader: %s", strerror(ENOMEM));
		return false;
	}
	jsonstream(u->j, 0, signedread, formsize(u->f), strict);
	const char *why = jsonall(u->j, &u->flat, static_cast<unsigned long>(most), bytes);
	if (why != nullptr && !waitedout())	// said once, at the end
		complain("%s", why);
	return why == nullptr;
}

// The arrays a call sets: the fields, the files, and a JSON body's types,
// counts and names.
struct arrays {
	jsonarrays json;	// the fields are json.values
	char *files;
};

// Whether the arrays may be set: each as its NAME rules say, and no two
// one variable, through namerefs or not.
static bool arraysok(const arrays *a)
{
	if (!jsonarraysok(&a->json) || (a->files != nullptr && !arrayok(a->files, false)))
		return false;
	const char *others[] = {a->json.values, a->json.types, a->json.counts, a->json.names};
	for (const char *o : others) {
		if (a->files != nullptr && o != nullptr && samevar(a->files, o)) {
			complain("%s: the fields, the files, the types, the counts and the names need arrays of their own",
				 a->files);
			return false;
		}
	}
	return true;
}

// The kinds of body that -b names, as a set of formbegin's kinds; 0 after
// a message where a name is no kind.
static unsigned kinds(const char *list)
{
	static const char *const names[] = {"multipart", "urlencoded", "json"};
	unsigned set = 0;
	for (const char *p = list;; p++) {
		size_t n = strcspn(p, ",");
		unsigned k = 0;
		while (k < 3 && (strlen(names[k]) != n || strncmp(p, names[k], n) != 0))
			k++;
		if (k == 3) {
			complain("-b: %s: not a list of multipart, urlencoded and json", list);
			return 0;
		}
		set |= 1u << k;
		p += n;
		if (*p == '\0')
			return set;
	}
}

// The status of a body that is not of a kind that the script takes, or
// of none that formdata knows: a script answers 415 Unsupported Media
// Type, not 400; and of a signature that is missing, malformed, wrong or
// stale, 401.
enum { unsupported = 3, unsigned_ = 4 };

static const char *cgiheader(void *, const char *name)
{
	return get_string_value(name);
}

// -S's check begun, from the headers and the keys, before any of the body
// is read; null after a message where it fails already, with *status.
static hookcheck *sigbegin(const signing *sg, int *status)
{
	hookkey keys[hookkeys];
	unsigned char *own[hookkeys] = {};
	int n = 0;
	*status = EXECUTION_FAILURE;
	hookcheck *c = static_cast<hookcheck *>(calloc(1, sizeof *c));
	bool good = c != nullptr;
	if (!good)
		complain("cannot allocate the signature's check: %s", strerror(ENOMEM));
	for (int i = 0; good && i < sg->nvars; i++, n++) {
		const char *v = get_string_value(sg->vars[i]);
		if (v == nullptr || *v == '\0') {
			complain("-k %s: no key in that variable", sg->vars[i]);
			good = false;
		} else {
			keys[n] = {reinterpret_cast<const unsigned char *>(v), strlen(v)};
		}
	}
	for (int i = 0; good && i < sg->nfiles; i++, n++) {
		const char *why;
		size_t len;
		if ((own[i] = keyfile(sg->files[i], false, &len, &why)) == nullptr || len == 0) {
			complain("-f %s: %s", sg->files[i], own[i] == nullptr ? why : "an empty key");
			good = false;
		} else {
			keys[n] = {own[i], len};
		}
	}
	if (good && hookstart(c, sg->scheme, cgiheader, nullptr, keys, n, sg->tolerance, time(nullptr), sg->url) != hook_ok) {
		complain("%s", c->msg);
		*status = c->status == hook_badkey ? EXECUTION_FAILURE : unsigned_;
		good = false;
	}
	for (int i = 0; i < sg->nfiles; i++)
		if (own[i] != nullptr) {
			wipe(own[i], strlen(reinterpret_cast<char *>(own[i])));
			free(own[i]);
		}
	if (!good && c != nullptr) {
		wipe(c, sizeof *c);
		free(c);
		c = nullptr;
	}
	return c;
}

// -S's check ended, once the body has been read whole: the rest of
// CONTENT_LENGTH, past what the reader needed, signed too. False after a
// message, with *status.
static bool sigend(upload *u, int *status)
{
	char rest[4096];
	while (checked < formsize(u->f)) {
		unsigned long long left = formsize(u->f) - checked;
		if (signedread(0, rest, left < sizeof rest ? static_cast<size_t>(left) : sizeof rest) <= 0) {
			complain("the body ended before CONTENT_LENGTH");
			*status = EXECUTION_FAILURE;
			return false;
		}
	}
	bool twilio = u->hook->scheme == hook_twilio;
	if (twilio && u->body == nullptr && u->j == nullptr) {
		complain("signature malformed: twilio signs an urlencoded or a JSON body");
		*status = unsigned_;
		return false;
	}
	const char *form = twilio && u->body != nullptr ? u->body : nullptr;
	if (hookend(u->hook, form, form != nullptr ? strlen(form) : 0) != hook_ok) {
		complain("%s", u->hook->msg);
		*status = unsigned_;
		return false;
	}
	return true;
}

// A call, once its options are read: the body read, checked and handed
// to the script, or nothing changed. Returns the builtin's status.
static int run(WORD_LIST *list, const arrays *a, char *dir, char *wait, long sec, long usec, bool strict,
	       unsigned long long limit, unsigned long long most, unsigned long long bytes, unsigned allowed,
	       const signing *sg)
{
	if (a->json.values == nullptr || list != nullptr) {
		builtin_usage();
		return EX_USAGE;
	}
	// As read takes it: TMOUT where -t is not given, and not a number
	// means no limit.
	if (wait == nullptr && ((wait = get_string_value("TMOUT")) == nullptr ||
				uconvert(wait, &sec, &usec, nullptr) == 0 || sec < 0 || usec < 0))
		sec = usec = 0;
	if (!arraysok(a))
		return EXECUTION_FAILURE;
	if (a->files == nullptr)
		dir = nullptr;
	else if (dir == nullptr && ((dir = get_string_value("TMPDIR")) == nullptr || *dir == '\0'))
		dir = const_cast<char *>("/tmp");

	// The signature's headers and keys first: a request that cannot be
	// signed is refused before its body is read.
	hookcheck *hook = nullptr;
	int status;
	if (sg->on && (hook = sigbegin(sg, &status)) == nullptr)
		return status;
	upload *u = static_cast<upload *>(xmalloc(sizeof *u));
	memset(u, 0, sizeof *u);
	u->hook = checking = hook;
	checked = 0;
	u->dir = dir != nullptr ? savebytes(dir, strlen(dir)) : nullptr;
	u->f = static_cast<form *>(xmalloc(sizeof *u->f));
	u->most = most;
	u->maxbytes = bytes;
	guard(undo, u);
	// zread is read's own; a signal that interrupts a wait runs its trap,
	// as zread's own wait would, and the wait goes on.
	waiting outer = waitbegin(zread, check_signals_and_traps,
				  sec > LONG_MAX / 1000 - 1 ? LONG_MAX : sec * 1000 + (usec + 999) / 1000);
	syncinput();
	const char *why = formbegin(u->f, 0, signedread, get_string_value("CONTENT_LENGTH"),
				   get_string_value("CONTENT_TYPE"), limit);
	const char *key, *filename;
	int more = why == nullptr ? 1 : -1, kind = u->f->kind;
	bool taken = kind < formunknown && (allowed & (1u << kind)) != 0;
	if (more > 0 && !taken) {
		static const char *const names[] = {"multipart/form-data", "application/x-www-form-urlencoded",
						    "application/json"};
		complain("CONTENT_TYPE is %s, which -b does not take", names[kind]);
		more = -2;
	}
	if (more > 0 && kind == formfields)
		more = urlencoded(u) ? 0 : -2;
	else if (more > 0 && kind == formjson)
		more = jsontext(u, strict, most, bytes) ? 0 : -2;
	while (more > 0 && (more = formpart(u->f, &key, &filename, &why)) > 0)
		if (!content(u, key, filename))
			more = -2;
	int sigstatus = EXECUTION_SUCCESS;
	if (more == 0 && hook != nullptr && !sigend(u, &sigstatus))
		more = -3;
	bool late = waitedout();
	waitend(&outer);
	if (late) {
		complain("no more of the body came within %s seconds", wait);
		unguard(true);
		return 128 + SIGALRM;	// as read -t gives
	}
	if (more == -1)
		complain("%s", why);
	if (more == -3) {
		unguard(true);
		return sigstatus;
	}
	if (more < 0) {
		unguard(true);
		return (why != nullptr && kind == formunknown) || (why == nullptr && !taken) ? unsupported :
											       EXECUTION_FAILURE;
	}
	// A trap that ran while the body was read may have changed them.
	if (!arraysok(a) || !namefiles(u)) {
		unguard(true);
		return EXECUTION_FAILURE;
	}

	// Fields exactly as urldecode -a or -A, or jsonparse, sets them from
	// the same bytes, and no file; types, counts and names for a JSON body
	// alone.
	jsonarrays others = a->json;
	others.values = nullptr;
	bool emptied = (a->files == nullptr || newarray(a->files, false) != nullptr) &&
		       (u->j != nullptr || ((others.types == nullptr || newarray(others.types, true) != nullptr) &&
					    (others.counts == nullptr || newarray(others.counts, true) != nullptr) &&
					    (others.names == nullptr || newarray(others.names, true) != nullptr)));
	status = !emptied ? EXECUTION_FAILURE :
		     u->j != nullptr ? setjson(&a->json, &u->flat) :
		     u->body != nullptr ? setfields(a->json.values, a->json.assoc ? 'A' : 'a', u->body, u->copy, false,
						    false, strictpct, most, bytes) :
		     setpairs(a->json.values, a->json.assoc, u->fields, u->nfields / 2, false);
	if (status == EXECUTION_SUCCESS && u->j == nullptr && u->body == nullptr) {
		SHELL_VAR *paths = a->files != nullptr ? find_variable(a->files) : nullptr;
		for (size_t i = 0; paths != nullptr && i < u->nfiles; i++) {
			setelem(paths, static_cast<arrayind_t>(3 * i), u->files[i].key);
			setelem(paths, static_cast<arrayind_t>(3 * i + 1), u->files[i].filename);
			setelem(paths, static_cast<arrayind_t>(3 * i + 2), u->files[i].path);
		}
	}
	unguard(status != EXECUTION_SUCCESS);
	if (status == EXECUTION_SUCCESS)
		release(u, true);
	return status;
}

static int formdata_builtin(WORD_LIST *list)
{
	arrays a = {};
	char *dir = nullptr, *wait = nullptr;
	WORD_DESC whyword, *whyname = nullptr;
	// An urlencoded body is read as a front end reads it: an escape that
	// is not '%' and two hex digits, or that makes a NUL, is an error, as
	// with urldecode -s. -s adds I-JSON's rules to a JSON body.
	bool strict = false;
	unsigned long long limit = 1 << 20, most = maxvalues, bytes = maxbytes;
	unsigned allowed = 7;
	signing sg = {};
	sg.tolerance = 300;
	intmax_t l;
	long sec, usec;
	int opt;

	forget();
	reset_internal_getopt();
	while ((opt = internal_getopt(list, const_cast<char *>("a:A:F:T:C:K:E:b:d:l:n:m:t:sS:k:f:w:u:"))) != -1) {
		switch (opt) {
		case 'a':
		case 'A':
			a.json.values = list_optarg;
			a.json.assoc = opt == 'A';
			break;
		case 'F':
			a.files = list_optarg;
			break;
		case 'T':
			a.json.types = list_optarg;
			break;
		case 'C':
			a.json.counts = list_optarg;
			break;
		case 'K':
			a.json.names = list_optarg;
			break;
		case 'E':
			whyword = {list_optarg, 0};
			whyname = &whyword;
			if (!goodname(whyname, true))
				return EX_USAGE;
			break;
		case 'b':
			if ((allowed = kinds(list_optarg)) == 0)
				return EX_USAGE;
			break;
		case 'd':
			dir = list_optarg;
			if (*dir == '\0') {
				complain("-d: an empty folder name");
				return EX_USAGE;
			}
			break;
		case 'l':
			if (!legal_number(list_optarg, &l) || l < 0) {
				complain("%s: not a number of bytes", list_optarg);
				return EX_USAGE;
			}
			limit = static_cast<unsigned long long>(l);
			break;
		case 'n':
		case 'm':
			if (!::limit(opt == 'n' ? "-n" : "-m", list_optarg, opt == 'n' ? &most : &bytes))
				return EX_USAGE;
			break;
		case 's':
			strict = true;
			break;
		case 'S':
			if (!hooknamed(list_optarg, &sg.scheme)) {
				complain("-S: %s: not one of %s", list_optarg, hookschemes);
				return EX_USAGE;
			}
			sg.on = true;
			break;
		case 'k':
		case 'f':
			if (sg.nvars + sg.nfiles == hookkeys) {
				complain("at most %d keys", static_cast<int>(hookkeys));
				return EX_USAGE;
			}
			if (opt == 'k')
				sg.vars[sg.nvars++] = list_optarg;
			else
				sg.files[sg.nfiles++] = list_optarg;
			break;
		case 'w':
			if (!legal_number(list_optarg, &l) || l < 0 || l > 999999999 || *list_optarg < '0' || *list_optarg > '9') {
				complain("-w: %s: not a number of seconds", list_optarg);
				return EX_USAGE;
			}
			sg.tolerance = l;
			break;
		case 'u':
			sg.url = list_optarg;
			break;
		case 't':
			wait = list_optarg;
			if (uconvert(wait, &sec, &usec, nullptr) == 0 || sec < 0 || usec < 0) {
				complain("%s: not a number of seconds", wait);
				return EX_USAGE;
			}
			break;
		CASE_HELPOPT;
		default:
			builtin_usage();
			return EX_USAGE;
		}
	}
	if (sg.on != (sg.nvars + sg.nfiles > 0)) {
		complain(sg.on ? "-S needs a key, by -k NAME or -f FILE" : "-k and -f are keys for -S");
		return EX_USAGE;
	}
	int status = run(loptend, &a, dir, wait, sec, usec, strict, limit, most, bytes, allowed, &sg);
	tell(whyname);
	return status;
}

static char doc1[] = "";
static char doc0[] = "Read a form's body from standard input.";
static char doc2[] = "Reads exactly CONTENT_LENGTH bytes, split at the boundary that";
static char doc3[] = "CONTENT_TYPE gives, or as an urlencoded string, as urldecode -A -s reads it,";
static char doc4[] = "or as a JSON text, as jsonparse -A or -a reads it.";
static char doc6[] = "  -A NAME   each field's name to its value in the associative array";
static char doc7[] = "            NAME, the last of a repeated name winning; a file's value";
static char doc8[] = "            is the filename that the client gave";
static char doc9[] = "  -a NAME   names and values in turn in the indexed array NAME";
static char doc10[] = "  -F FILES  key, client's filename and saved path of each file, in";
static char doc11[] = "            turn, in the indexed array FILES";
static char doc12[] = "  -T TYPES, -C COUNTS, -K NAMES";
static char doc13[] = "            for a JSON body, each pointer's type, each array's and";
static char doc14[] = "            object's count of members, each object's names in order, as";
static char doc15[] = "            jsonparse sets them; walk a body with COUNTS, never with a";
static char doc16[] = "            value of the body, which arithmetic would evaluate";
static char doc17[] = "  -b KINDS  the bodies to take, of multipart, urlencoded and json, as";
static char doc18[] = "            'json' or 'multipart,urlencoded'; all three where not given";
static char doc19[] = "  -d DIR    save the files in DIR, not ${TMPDIR:-/tmp}, as new files";
static char doc20[] = "            of mode 0600 under names of the builtin's own";
static char doc21[] = "  -l BYTES  refuse a body over BYTES, not 1048576, before reading it";
static char doc22[] = "  -n COUNT  refuse more than COUNT fields or values, not 100000";
static char doc23[] = "  -m BYTES  refuse fields or values whose names (or pointers) and";
static char doc24[] = "            values pass BYTES, not 8 MiB";
static char doc25[] = "  -t SECS   give up when no more of the body comes for SECS seconds,";
static char doc26[] = "            as read -t does; TMOUT where not given";
static char doc27[] = "  -s        add I-JSON's rules to a JSON body (RFC 7493), and refuse";
static char doc28[] = "            names equal under Unicode's simple case folding; in an";
static char doc29[] = "            urlencoded body, a bad escape or %00 is always an error";
static char doc30[] = "  -E WHY    set WHY to the reason for a refusal, or empty it";
static char doc30a[] = "  -S SCHEME check the sender's signature over the body, github, stripe,";
static char doc30b[] = "            slack, shopify, standard, twilio or gitlab, with the key in";
static char doc30c[] = "            the variable -k NAME or the file -f FILE; -w SECS (300) for";
static char doc30d[] = "            timestamps, -u URL for twilio; status 4, for a 401, if not";
static char doc32[] = "A body whose headers the grammar refuses, or that careful readers";
static char doc33[] = "read in different ways, is refused whole.";
static char doc35[] = "Exit status: 0, or 1 on a body that is refused or malformed, an";
static char doc36[] = "array that cannot be set, or a file that cannot be written, when";
static char doc37[] = "every file it made is removed and the arrays are left as they were;";
static char doc38[] = "3 on a body of a type that -b does not take, or none of the three,";
static char doc39[] = "for a 415 answer; 142 on a time-out; 2 on a bad command line.";
static char *doc[] = {doc0, doc1, doc2, doc3, doc4, doc1, doc6, doc7, doc8, doc9, doc10, doc11,
		      doc12, doc13, doc14, doc15, doc16, doc17, doc18, doc19, doc20, doc21, doc22, doc23, doc24, doc25,
		      doc26, doc27, doc28, doc29, doc30, doc30a, doc30b, doc30c, doc30d, doc1, doc32, doc33, doc1, doc35, doc36, doc37, doc38, doc39,
		      nullptr};
static char bname[] = "formdata";
static char synopsis[] = "formdata -A NAME | -a NAME [-F FILES] [-T TYPES] [-C COUNTS] [-K NAMES] [-b KINDS] [-d DIR] [-l BYTES] [-n COUNT] [-m BYTES] [-t SECS] [-s] [-E WHY] [-S SCHEME -k NAME | -f FILE [-w SECS] [-u URL]]";

// bash finds the builtin by this name.
extern "C" {
__attribute__((visibility("default"))) struct builtin formdata_struct = {
	bname, formdata_builtin, BUILTIN_ENABLED, doc, synopsis, nullptr,
};
}
