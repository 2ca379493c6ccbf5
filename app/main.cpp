#include "app/RunDriver.h"

int main() { return RunCircog(); }
