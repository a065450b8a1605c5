// The start of a trivial C++ program, built as trimora-cli is: what trimora-cli --help is
// measured against.
#include <iostream>

int main() {
  std::cout << "Usage: trivial\n";
  return 0;
}
