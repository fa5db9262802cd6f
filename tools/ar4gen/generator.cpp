#include "ar4gen/generator.hpp"
