/* Twenty draws from a fixed seed, one a line: what rand_wait must not change. */
#include <stdio.h>
#include <stdlib.h>

int main(void) {
  srand(29);
  for (int i = 0; i < 20; ++i) printf("%d\n", rand());
  return 0;
}
