#include "app/exit_codes.h"

#include "wav/recording_writer.h"

int exitCodeOfWrite(int written) {
    return written == kWriteOk ? kExitDone : kExitRecordFile;
}
