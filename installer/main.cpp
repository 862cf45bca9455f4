#include "installer.h"

int main(int argc, char **argv)
{
    InstallerSettings settings = {0, NULL, 0};
    char executable_path[INSTALLER_PATH_SIZE];
    if (installer_parse_arguments(argc, argv, &settings, stderr) != 0) {
        return 1;
    }
    if (settings.root == NULL &&
        installer_root_from_executable(&settings, executable_path, stderr) != 0) {
        return 1;
    }
    if (!settings.silent && installer_ask_startup(&settings, stdin, stdout, stderr) != 0) {
        return 1;
    }
    static InstallerPaths paths;
    if (installer_read_manifest(&settings, &paths, stderr) != 0) {
        return 1;
    }
    return installer_deploy(&settings, &paths, stdout, stderr);
}
