// Each wait for more of a body bounded in time, as read -t bounds it.
#include <cerrno>
#include <climits>
#include <ctime>
#include <poll.h>

#include "multipart.h"

static waiting now_;

waiting waitbegin(reader *rd, void (*interrupted)(), long ms)
{
	waiting before = now_;
	now_ = {rd, interrupted, ms, false};
	return before;
}

void waitend(const waiting *before)
{
	now_ = *before;
}

bool waitedout()
{
	return now_.timedout;
}

static long long msnow()
{
	timespec t;
	clock_gettime(CLOCK_MONOTONIC, &t);
	return t.tv_sec * 1000LL + t.tv_nsec / 1000000;
}

ssize_t waitread(int fd, char *buf, size_t len)
{
	if (now_.ms > 0) {
		long long deadline = msnow() + now_.ms;
		struct pollfd p = {fd, POLLIN, 0};
		int r;
		for (;;) {
			long long left = deadline - msnow();
			r = left > 0 ? poll(&p, 1, static_cast<int>(left > INT_MAX ? INT_MAX : left)) : 0;
			if (r >= 0 || errno != EINTR)
				break;
			if (now_.interrupted != nullptr)
				now_.interrupted();
		}
		if (r == 0) {
			now_.timedout = true;
			errno = ETIMEDOUT;
			return -1;
		}
	}
	return now_.rd(fd, buf, len);
}
