// The smallest program built like the Pin (C++ runtime included): what
// starting any such program costs.
#include <string>

int main(int argc, char**)
{
    return static_cast<int>(std::string(static_cast<size_t>(argc), 'x').size()) - argc;
}
