#include "probe/probe_run.h"

int main(int argc, char** argv) {
    return runProbe(argc, argv);
}
