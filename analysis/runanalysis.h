// The analysis run: the handler of "Start".
#pragma once

class ppiplugin;

namespace ppi {

bool runAnalysis(ppiplugin& plugin);

}  // namespace ppi
