#include "ConfigurationRecord.h"

bool ConfigurationRecord::operator==(const ConfigurationRecord &other) const
{
    return newNameOfDevice == other.newNameOfDevice
           && canChangeProductName == other.canChangeProductName
           && configurationBlock == other.configurationBlock
           && switchNameBlocks == other.switchNameBlocks
           && boolRewritableFromSoftware == other.boolRewritableFromSoftware
           && flashData == other.flashData && flashMacro == other.flashMacro;
}
