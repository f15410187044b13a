#pragma once

class XpVolume;

// The volume holds, in the folder "AVF_INFO" at its root, the files
// "AVIN0001.INP" and "AVIN0001.INT" (files, not folders) and an entry
// "AVIN0001.BNP".
bool IsAvfInfoVolume(const XpVolume& volume);
