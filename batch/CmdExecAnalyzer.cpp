#include "CmdExecutor.h"

bool CmdExecutor::actAnalyzer(int, const CmdLine&, bool&)
{
    return false;
}
