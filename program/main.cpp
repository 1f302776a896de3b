#include "program/VelmoraMain.h"

int main(int argc, char** argv) { return RunVelmora(argc, argv); }
