#include "measure/failure.h"

#include <new>

#include "measure/exit_codes.h"

namespace measure {

int attempt(const std::function<void()>& work, const char* noMemory, std::FILE* messages, bool json,
            const FailureRecord& record) {
    int code = kDone;
    std::string message;
    try {
        work();
        return kDone;
    } catch (const Failure& f) {
        code = f.code();
        message = f.what();
    } catch (const std::bad_alloc&) {
        code = kNoMemory;
        message = noMemory;
    }
    std::fprintf(messages, "%s\n", message.c_str());
    if (record) {
        const std::string document = record(code, message);
        if (json)
            std::fputs(document.c_str(), stdout);
    }
    return code;
}

} // namespace measure
