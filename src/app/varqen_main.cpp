// The `varqen` program.
#include "app/main_prog.hpp"

int main(int argc, char** argv) { return main_prog::main_program(argc, argv); }
