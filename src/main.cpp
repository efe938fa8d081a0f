#include "app/run.h"

int main(int argc, char** argv) { lumo::run(argc, argv); }
