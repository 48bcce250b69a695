// formdata as a bash loadable builtin: a form's multipart/form-data body,
// as a CGI script reads it from standard input, its fields into an array
// and its files into new files of the builtin's own.
//   enable -f formdata formdata
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "multipart.h"
#include "shellvar.h"

extern "C" {
#include "bashgetopt.h"
}

// What one call has made so far, all of it undone when the call fails or
// bash aborts it: names and values in turn, the files' keys, filenames
// and paths in turn, and the files themselves.
struct upload {
	char **fields;
	size_t nfields, fieldcap;
	char **files;
	size_t nfiles, filecap;
	int fd;		// the file being written, or -1
	form *f;
};

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
	if (u->fd >= 0)
		close(u->fd);
	for (size_t i = 0; i < u->nfiles; i++) {
		if (!keep && i % 3 == 2)
			unlink(u->files[i]);
		xfree(u->files[i]);
	}
	for (size_t i = 0; i < u->nfields; i++)
		xfree(u->fields[i]);
	xfree(u->files);
	xfree(u->fields);
	xfree(u->f);
}

static void undo(void *u)
{
	release(static_cast<upload *>(u), false);
}

// A new file in dir, under a name of the builtin's own: mkstemp opens it
// with O_EXCL and mode 0600.
static bool newfile(upload *u, const char *key, const char *filename, const char *dir)
{
	char path[PATH_MAX];
	int n = snprintf(path, sizeof path, "%s/formdata.XXXXXX", dir);
	if (n < 0 || static_cast<size_t>(n) >= sizeof path) {
		builtin_error("%s: the folder's name is too long", dir);
		return false;
	}
	if ((u->fd = mkstemp(path)) < 0) {
		builtin_error("%s: cannot make a file there: %s", dir, strerror(errno));
		return false;
	}
	push(&u->files, &u->nfiles, &u->filecap, savebytes(key, strlen(key)));
	push(&u->files, &u->nfiles, &u->filecap, savebytes(filename, strlen(filename)));
	push(&u->files, &u->nfiles, &u->filecap, savebytes(path, strlen(path)));
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
// input left empty makes none; with no dir, where no FILES would say where
// the files are, none is made. False after a message.
static bool content(upload *u, const char *key, const char *filename, const char *dir)
{
	const char *data, *why = nullptr;
	char *value = filename == nullptr ? savebytes("", 0) : nullptr;
	size_t len = 0;
	ssize_t n;

	while ((n = formpiece(u->f, &data, &why)) > 0) {
		size_t m = static_cast<size_t>(n);
		if (filename == nullptr) {
			// A bash string ends at a NUL byte.
			if (memchr(data, '\0', m) != nullptr) {
				builtin_error("%s: a NUL byte in a text field", key);
				xfree(value);
				return false;
			}
			value = static_cast<char *>(xrealloc(value, len + m + 1));
			memcpy(value + len, data, m);
			value[len += m] = '\0';
		} else if (dir == nullptr) {
			continue;	// no FILES to say where a file would be
		} else if ((u->fd < 0 && !newfile(u, key, filename, dir)) ||
			   !writeall(u->fd, data, m)) {
			if (u->fd >= 0)
				builtin_error("%s: %s", u->files[u->nfiles - 1], strerror(errno));
			xfree(value);
			return false;
		}
	}
	if (n < 0) {
		builtin_error("%s", why);
		xfree(value);
		return false;
	}
	if (filename != nullptr) {
		if (dir != nullptr && u->fd < 0 && *filename != '\0' && !newfile(u, key, filename, dir))
			return false;
		if (u->fd >= 0 && close(u->fd) != 0) {
			u->fd = -1;
			builtin_error("%s: %s", u->files[u->nfiles - 1], strerror(errno));
			return false;
		}
		u->fd = -1;
		value = savebytes(filename, strlen(filename));
	}
	push(&u->fields, &u->nfields, &u->fieldcap, savebytes(key, strlen(key)));
	push(&u->fields, &u->nfields, &u->fieldcap, value);
	return true;
}

static int formdata_builtin(WORD_LIST *list)
{
	char *name = nullptr, *files = nullptr, *dir = nullptr;
	bool assoc = false;
	unsigned long long limit = 1 << 20;
	intmax_t l;
	int opt;

	reset_internal_getopt();
	while ((opt = internal_getopt(list, const_cast<char *>("a:A:F:d:l:"))) != -1) {
		switch (opt) {
		case 'a':
		case 'A':
			name = list_optarg;
			assoc = opt == 'A';
			break;
		case 'F':
			files = list_optarg;
			break;
		case 'd':
			dir = list_optarg;
			break;
		case 'l':
			if (!legal_number(list_optarg, &l) || l < 0) {
				builtin_error("%s: not a number of bytes", list_optarg);
				return EX_USAGE;
			}
			limit = static_cast<unsigned long long>(l);
			break;
		CASE_HELPOPT;
		default:
			builtin_usage();
			return EX_USAGE;
		}
	}
	if (name == nullptr || loptend != nullptr) {
		builtin_usage();
		return EX_USAGE;
	}
	if (!arrayok(name, assoc) || (files != nullptr && !arrayok(files, false)))
		return EXECUTION_FAILURE;
	if (files != nullptr && strcmp(files, name) == 0) {
		builtin_error("%s: the fields and the files need arrays of their own", name);
		return EXECUTION_FAILURE;
	}
	if (files == nullptr)
		dir = nullptr;
	else if (dir == nullptr && ((dir = get_string_value("TMPDIR")) == nullptr || *dir == '\0'))
		dir = const_cast<char *>("/tmp");

	upload u = {};
	u.fd = -1;
	u.f = static_cast<form *>(xmalloc(sizeof *u.f));
	guard(undo, &u);
	syncinput();
	const char *why = formbegin(u.f, 0, zread, get_string_value("CONTENT_LENGTH"),
				   get_string_value("CONTENT_TYPE"), limit);
	const char *key, *filename;
	int more = why == nullptr ? 1 : -1;
	while (more > 0 && (more = formpart(u.f, &key, &filename, &why)) > 0)
		if (!content(&u, key, filename, dir))
			more = -2;
	if (more == -1)
		builtin_error("%s", why);
	// A trap that ran while the body was read may have changed them.
	if (more < 0 || !arrayok(name, assoc) || (files != nullptr && !arrayok(files, false))) {
		unguard(true);
		return EXECUTION_FAILURE;
	}

	SHELL_VAR *array = newarray(name, assoc);
	for (size_t i = 0; i < u.nfields; i++)
		if (!assoc)
			setelem(array, static_cast<arrayind_t>(i), u.fields[i]);
		else if (i % 2 == 0)
			setkey(array, u.fields[i], u.fields[i + 1]);
	if (files != nullptr) {
		array = newarray(files, false);
		for (size_t i = 0; i < u.nfiles; i++)
			setelem(array, static_cast<arrayind_t>(i), u.files[i]);
	}
	unguard(false);
	release(&u, true);
	return EXECUTION_SUCCESS;
}

static char doc0[] = "Read a form's multipart/form-data body from standard input.";
static char doc1[] = "";
static char doc2[] = "Reads exactly CONTENT_LENGTH bytes, split at the boundary that";
static char doc3[] = "CONTENT_TYPE gives, as a CGI script gets a form with file inputs.";
static char doc4[] = "  -A NAME   each field's name to its value in the associative array";
static char doc5[] = "            NAME, the last of a repeated name winning; a file's value";
static char doc6[] = "            is the filename that the client gave";
static char doc7[] = "  -a NAME   names and values in turn in the indexed array NAME";
static char doc8[] = "  -F FILES  key, client's filename and saved path of each file, in";
static char doc9[] = "            turn, in the indexed array FILES";
static char doc10[] = "  -d DIR    save the files in DIR, not ${TMPDIR:-/tmp}, as new files";
static char doc11[] = "            of mode 0600 under names of the builtin's own";
static char doc12[] = "  -l BYTES  refuse a body over BYTES, not 1048576, before reading it";
static char doc13[] = "Exit status: 0, or 1 on a body that is refused or malformed, an";
static char doc14[] = "array that cannot be set, or a file that cannot be written, when";
static char doc15[] = "every file it made is removed and the arrays are left as they were;";
static char doc16[] = "2 on a bad command line.";
static char *doc[] = {doc0, doc1, doc2, doc3, doc1, doc4, doc5, doc6, doc7, doc8, doc9,
		      doc10, doc11, doc12, doc1, doc13, doc14, doc15, doc16, nullptr};
static char bname[] = "formdata";
static char synopsis[] = "formdata -A NAME | -a NAME [-F FILES] [-d DIR] [-l BYTES]";

// bash finds the builtin by this name.
extern "C" {
__attribute__((visibility("default"))) struct builtin formdata_struct = {
	bname, formdata_builtin, BUILTIN_ENABLED, doc, synopsis, nullptr,
};
}
