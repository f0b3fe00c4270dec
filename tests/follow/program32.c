/* A 32-bit program: kestrel follows 64-bit programs only. */
int main(void) { return 0; }
