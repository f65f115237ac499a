#include <cstdio>
int main() { std::puts("plinkactl"); return 0; }
