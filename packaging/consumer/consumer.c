/* A host in C built against an installed skyfw: the headers, the version
 * macros and the library linked by name. Prints the version and the text of
 * result 0 (ASCII, so narrowing each unit is enough). */
#include <skyfw/oem.h>
#include <skyfw/version.h>
#include <stdio.h>

#if !SKYFW_VERSION_AT_LEAST(1, 0, 0)
#error "skyfw 1.0.0 or later expected"
#endif

int main(void) {
  const char16_t* text = oem_text_for_error_code(0);
  printf("skyfw %s (%d): ", SKYFW_VERSION_STRING, SKYFW_VERSION_NUMBER);
  for (; text != NULL && *text != 0 && *text != '\r'; ++text) putchar((char)*text);
  putchar('\n');
  return text == NULL;
}
