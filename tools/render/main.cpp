// SPDX-License-Identifier: MIT
#include "render/render.h"

#include <iostream>

#include <unistd.h>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << tambrel::renderUsage();
        return 0;
    }
    tambrel::RenderOptions options;
    std::string error;
    if (!tambrel::parseRenderArgs(args, options, error)) {
        std::cerr << "tambrel-render: " << error << "\n" << tambrel::renderUsage();
        return 2;
    }
    options.progress = isatty(STDERR_FILENO); // a progress line only where someone watches
    return tambrel::runRender(std::move(options), std::cerr);
}
