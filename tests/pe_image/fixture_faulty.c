// A plug-in look-alike with the faults the image check must find: one entry
// point missing, one export too many, a non-system DLL imported.
__declspec(dllimport) int fixture_helper(int value);

#define ENTRY_POINT(name) \
  __declspec(dllexport) int name(void) { return fixture_helper(0); }

ENTRY_POINT(oem_do_discovery_with_files)
ENTRY_POINT(oem_do_flash_with_file)
ENTRY_POINT(oem_do_full_flash_PCI)
ENTRY_POINT(oem_get_adapter_info)
ENTRY_POINT(oem_get_full_flash_dump_PCI)
ENTRY_POINT(oem_text_for_error_code)
ENTRY_POINT(fixture_extra_export)
