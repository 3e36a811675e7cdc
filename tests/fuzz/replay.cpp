// Runs saved fuzzer inputs through the fuzz target once each, without
// libFuzzer, so the normal build keeps its corpus passing: queue_replay
// FILE|DIR... A broken rule aborts, as it does under the fuzzer.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static void Collect(const std::string &path, std::vector<std::string> &files)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        files.push_back(path);
        return;
    }
    DIR *dir = opendir(path.c_str());
    if (!dir)
        return;
    while (dirent *e = readdir(dir))
        if (e->d_name[0] != '.')
            Collect(path + "/" + e->d_name, files);
    closedir(dir);
}

int main(int argc, char **argv)
{
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i)
        Collect(argv[i], files);
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        fprintf(stderr, "queue_replay: no inputs\n");
        return 2;
    }
    for (const std::string &file : files) {
        std::ifstream in(file, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        fprintf(stderr, "%s (%zu bytes)\n", file.c_str(), bytes.size());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    printf("queue_replay: %zu inputs, no broken rule\n", files.size());
    return 0;
}
