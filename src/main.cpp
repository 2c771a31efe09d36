#include <cstdio>

#include "dialogue.h"

int main() { return runDialogue(stdin, stdout, stderr); }
