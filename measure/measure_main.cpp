#include "measure/commands.h"

int main(int argc, char** argv) {
    return measure::measureMain(argc, argv);
}
