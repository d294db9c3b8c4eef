// On Linux the test's registry becomes the image of this process, read from
// exactly the file written here. The driver module keeps an image of its own,
// read from $XDG_CONFIG_HOME once; the test classes are the same in every
// registry a program installs, so that image never goes stale.
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "host_fixture.h"
#include "platform/posix_registry_image.h"

std::string testDriverPath() {
    return TANDEM_TEST_DRIVER;
}

void TestRegistry::installFor(const std::string& programTag) const {
    const std::filesystem::path config =
        std::filesystem::temp_directory_path() / ("tandem_" + programTag + "_config");
    std::filesystem::create_directories(config / "tandemwav");
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    const std::string file = (config / "tandemwav" / "registry.reg").string();
    std::ofstream(file, std::ios::binary | std::ios::trunc) << regFileText();
    loadRegistryImageFiles({file});
}
