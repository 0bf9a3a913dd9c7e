// tobrel-host: the reference host for the filter, as a command-line tool.
#include "filter_host.h"
#include "registration_table.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kUsage[] =
    "usage: tobrel-host --info FILTER.auf    print the filter's registration\n";

int PrintInfo(const char* dllPath)
{
    FilterHost host;
    std::string error;
    if (!host.load(dllPath, &error)) {
        std::fprintf(stderr, "tobrel-host: %s\n", error.c_str());
        return 1;
    }
    std::fputs(DescribeRegistration(*host.registration()).c_str(), stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--info") == 0)
        return PrintInfo(argv[2]);
    std::fputs(kUsage, stderr);
    return 2;
}
