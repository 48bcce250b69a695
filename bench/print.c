/* The least a program can do in urldecode's place: print its last argument. */
#include <stdio.h>

int main(int argc, char **argv)
{
	if (argc > 1)
		printf("%s", argv[argc - 1]);
	return 0;
}
