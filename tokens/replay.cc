// Replays refused: each verified delivery leaves a record in a folder,
// DIR/BUCKET/NAME, where BUCKET counts windows of time since the epoch
// and NAME is the HMAC of what tells the delivery apart, under a key that
// the folder keeps, DIR/key, made at its first use. A record is made
// with O_EXCL in the bucket of now, and looked for in the buckets either
// side: of two alike at a bucket's edge, each makes its own before it
// looks, so one of them sees the other's. Buckets older than the one
// before go as new records come.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "hook.h"

static char why[320];

static const char *failed(const char *what, const char *path)
{
	// Cut in the path, never in the reason.
	snprintf(why, sizeof why, "-R: %s %.200s: %.60s", what, path, strerror(errno));
	return why;
}

// The folder's key, made once: written in full under a name of its own,
// then linked as DIR/key, which fails where another made it first; read.
static const char *dirkey(const char *dir, unsigned char key[32])
{
	char path[4096], tmp[4096];
	snprintf(path, sizeof path, "%s/key", dir);
	int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
	if (fd < 0 && errno == ENOENT) {
		unsigned char fresh[32];
		if (!randbytes(fresh, sizeof fresh))
			return failed("cannot draw a key for", dir);
		snprintf(tmp, sizeof tmp, "%s/key.%ld", dir, static_cast<long>(getpid()));
		int t = open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
		if (t < 0)
			return failed("cannot make", tmp);
		bool wrote = write(t, fresh, sizeof fresh) == static_cast<ssize_t>(sizeof fresh);
		wipe(fresh, sizeof fresh);
		if (close(t) != 0 || !wrote) {
			unlink(tmp);
			return failed("cannot write", tmp);
		}
		if (link(tmp, path) != 0 && errno != EEXIST) {
			unlink(tmp);
			return failed("cannot make", path);
		}
		unlink(tmp);
		fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
	}
	if (fd < 0)
		return failed("cannot open", path);
	ssize_t got = read(fd, key, 32);
	close(fd);
	if (got != 32) {
		errno = EINVAL;
		return failed("a key that is not 32 bytes in", path);
	}
	return nullptr;
}

// Buckets (folders named by digits alone) older than keep, removed with
// their records.
static void sweep(const char *dir, unsigned long long keep)
{
	DIR *d = opendir(dir);
	if (d == nullptr)
		return;
	for (struct dirent *e; (e = readdir(d)) != nullptr;) {
		const char *name = e->d_name;
		unsigned long long b = 0;
		size_t n = 0;
		for (; name[n] >= '0' && name[n] <= '9' && n < 19; n++)
			b = b * 10 + static_cast<unsigned>(name[n] - '0');
		if (n == 0 || name[n] != '\0' || b >= keep)
			continue;
		char bucket[4096];
		snprintf(bucket, sizeof bucket, "%s/%s", dir, name);
		DIR *r = opendir(bucket);
		if (r == nullptr)
			continue;
		for (struct dirent *f; (f = readdir(r)) != nullptr;)
			if (strcmp(f->d_name, ".") != 0 && strcmp(f->d_name, "..") != 0)
				unlinkat(dirfd(r), f->d_name, 0);
		closedir(r);
		rmdir(bucket);
	}
	closedir(d);
}

const char *hookreplay(const hookcheck *c, const char *dir, long long window, long long now)
{
	if (!c->seenset)
		return "-R: this request has no id that tells it from another (GitLab's X-Gitlab-Event-UUID)";
	unsigned char key[32], mac[hashmost];
	const char *bad = dirkey(dir, key);
	if (bad != nullptr)
		return bad;
	hmac m;
	hmacstart(&m, alg_sha256, key, sizeof key);
	hmacadd(&m, c->seen, sizeof c->seen);
	hmacend(&m, mac);
	wipe(key, sizeof key);
	char name[65];
	baseout(base_hex, name, mac, 32, false);
	unsigned long long w = window > 0 ? static_cast<unsigned long long>(window) : 1;
	unsigned long long b = quotient(now > 0 ? static_cast<unsigned long long>(now) : 0, w);
	char path[4096];
	snprintf(path, sizeof path, "%s/%llu", dir, b);
	if (mkdir(path, 0700) != 0 && errno != EEXIST)
		return failed("cannot make", path);
	snprintf(path, sizeof path, "%s/%llu/%s", dir, b, name);
	int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
	if (fd < 0 && errno == EEXIST)
		return "replayed";
	if (fd < 0)
		return failed("cannot make", path);
	close(fd);
	unsigned long long others[2] = {b > 0 ? b - 1 : b, b + 1};
	for (unsigned long long other : others) {
		snprintf(path, sizeof path, "%s/%llu/%s", dir, other, name);
		if (access(path, F_OK) == 0)
			return "replayed";
	}
	sweep(dir, b > 0 ? b - 1 : 0);
	return nullptr;
}
