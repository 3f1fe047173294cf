// Seed inputs for the fuzz targets, made by the same builders as the tests.
#pragma once

#include <cstdint>
#include <vector>

namespace skyfw::fuzz {

using Bytes = std::vector<uint8_t>;

// Package files: signed images of both framings, a marked block, VPD, plain
// data; wrapped and unwrapped; an empty manifest; properties of every tag.
std::vector<Bytes> PackageSeeds();

// VPD proper: identifier, VPD-R with RV, VPD-W with RW, end tag variants.
std::vector<Bytes> VpdSeeds();

// Request documents for the machine of fuzz_machine.h: the discovery document
// of its adapter with items naming each file of its firmware directory (and
// one that is missing), skipped items, an unknown device, entities, another
// encoding.
std::vector<Bytes> FlashRequestSeeds();

// Firmware catalogues: the demo's, one with every attribute, declared
// defaults and entities, names with markup characters.
std::vector<Bytes> CatalogueSeeds();

// Package log inputs: capacity (2 bytes), version length (1), version, log.
std::vector<Bytes> PackageLogSeeds();

// Machine descriptions: the demo machine, the fuzz machine, and one that
// sets the optional fields and faults.
std::vector<Bytes> MachineDescriptionSeeds();

// Firmware package target inputs (mode byte first): packages of the
// builders, plain and wrapped, with and without fixed checksums; NVRAM files
// of factory images.
std::vector<Bytes> FirmwarePackageSeeds();

}  // namespace skyfw::fuzz
