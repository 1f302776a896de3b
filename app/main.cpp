#include "app/VelmoraMain.h"

int main(int argc, char** argv) { return RunVelmora(argc, argv); }
