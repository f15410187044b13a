#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "imaging/tags/XpTiffTagManager.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/testsupport/FakeSysfs.h"

// Builds what an export runs on: pictures and movies on the PC, fake
// volumes, a camera with its album database, the registry and the
// hand-over file.
namespace export_fixture {

// The camera's and the stick's USB identifiers.
inline constexpr uint16_t kCameraVendor = 0x1F3A;
inline constexpr uint16_t kCameraProduct = 0x0259;
inline constexpr uint16_t kStickVendor = 0x0781;
inline constexpr uint16_t kStickProduct = 0x5567;

// Content types of the hand-over file.
inline constexpr int64_t kPictureType = 268435713;
inline constexpr int64_t kMpeg1Type = 536940801;
inline constexpr int64_t kTiffType = 268435969;

// A gradient picture of width x height through the project's writer (Exif
// with a thumbnail, DateTimeOriginal = shotAt unless null).
void WritePicture(const std::filesystem::path& path, int32_t width, int32_t height, const char* shotAt);
// A picture without any Exif segment, written with libjpeg alone.
void WritePlainPicture(const std::filesystem::path& path, int32_t width, int32_t height);
// An MPEG-1 pack header and filler, bytes long.
void WriteMovie(const std::filesystem::path& path, int64_t bytes);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
std::string ReadBytes(const std::filesystem::path& path);

// Every file below root, relative path to its bytes.
std::map<std::string, std::string> Snapshot(const std::filesystem::path& root);

// An empty album database in folder, through the album database tool.
void MakeDatabase(const std::filesystem::path& folder);

// A camera volume at mountPoint (removable vfat, USB) on the fake system
// tree, with DCIM/100ABCDE/DSC00001-DSC0000<pictures>.JPG (none for 0:
// an empty DCIM) and an empty album database.
void MakeCamera(testsupport::FakeSysfs& fake, const std::filesystem::path& mountPoint, int32_t pictures);

// HKLM's version 1.0 and the user's settings: conversion off unless
// convert, no cutting, size 0, the temporary folder tempDir.
void WriteRegistry(const std::filesystem::path& tempDir, bool convert);

// One content of a hand-over file.
struct HandOverContent {
  std::vector<std::filesystem::path> files;
  int64_t type = kPictureType;
  double date = -1.0;
  std::vector<int32_t> favorites;
};
void WriteHandOver(const std::filesystem::path& path, const std::vector<HandOverContent>& contents);

// The picture's size.
void ReadPictureSize(const std::filesystem::path& path, int32_t* width, int32_t* height);

}  // namespace export_fixture
