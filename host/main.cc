#include <iostream>

#include "host/command_line.h"

int main(int argc, char** argv) { return host::TavoraMain(argc, argv, std::cout, std::cerr); }
