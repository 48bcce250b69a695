/* The least a program can do in shares' place: read five numbers, print them. */
#include <stdio.h>

int main(void)
{
	int a, b, c, d, e;

	if (scanf("%d %d %d %d %d", &a, &b, &c, &d, &e) != 5)
		return 1;
	printf("%d %d %d %d %d", a, b, c, d, e);
	return 0;
}
