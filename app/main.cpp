#include "app/run_sequence.h"
#include "platform/console.h"

int main(int argc, char** argv) {
    useUtf8Console();
    return runTandemWav(argc, argv);
}
