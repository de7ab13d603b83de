// A statically linked program, into which nothing can be preloaded.
int main() { return 0; }
