"""How one run of skyfw's output becomes a document or a failure."""

import json
import unittest

import skyfw_fakes  # noqa: F401  (puts the collection on sys.path)
from skyfw_fakes import adapter, document

from ansible_collections.norvane.skyfw.plugins.module_utils.skyfw_cli import (
    SkyfwError,
    parse_output,
)


def dumped(value):
    return json.dumps(value) + "\n"


class ParseOutputTest(unittest.TestCase):
    def test_success_gives_the_document(self):
        answer = document("discover", adapters=[adapter("0000:03:00.0")])
        self.assertEqual(parse_output(["discover"], 0, dumped(answer), ""), answer)

    def test_failures(self):
        install_failed = document(
            "flash-pci", 7,
            error={"kind": "install_failed", "message": "the installation on 0000:03:00.0 failed",
                   "result": {"code": 106, "text": "Flashing of device with file failed."},
                   "cause": ["[QVFWUPG LIB :DEBUG] 1.1: the package does not apply"]})
        cases = [
            # name, rc, stdout, stderr, expected kind, texts the message must hold
            ("nothing printed", 3, "", "skyfw: cannot load libskyfw.so.1\n", "plugin",
             ["printed no JSON", "exit code 3", "cannot load libskyfw.so.1"]),
            ("not JSON", 0, "PCI LOCATION  PRODUCT\n", "", "failed", ["not JSON"]),
            ("cut short", 7, '{"schema_version": 1, "ok": fal', "", "install_failed",
             ["not JSON", "exit code 7"]),
            ("not an object", 0, "[1, 2]\n", "", "failed", ["not an object"]),
            ("the one error shape", 7, dumped(install_failed), "", "install_failed",
             ["skyfw flash-pci: the installation on 0000:03:00.0 failed", "result 106",
              "Flashing of device with file failed.", "the package does not apply"]),
            ("usage, no result", 2,
             dumped(document(None, 2, error={"kind": "usage", "message": "bad --pci"})), "",
             "usage", ["bad --pci"]),
            # The exit code decides, whatever the document claims.
            ("ok but failing exit code", 4, dumped(document("discover")), "", "no_device",
             ["exit code 4", "no_device"]),
            ("error without kind", 5,
             dumped(document("discover", 5, error={"message": "no firmware folder /fw"})), "",
             "not_found", ["no firmware folder /fw"]),
            ("error as a plain text", 6, dumped({"error": "cannot read request.xml",
                                                 "exit_code": 6}), "", "document",
             ["cannot read request.xml"]),
            # An older skyfw without the versioned output would be misread.
            ("no schema version", 0, dumped({"result": {"code": 0}, "devices": []}), "",
             "failed", ["schema None", "reads schema 1"]),
            ("newer schema", 0, dumped(dict(document("discover"), schema_version=2)), "",
             "failed", ["schema 2"]),
        ]
        for name, rc, stdout, stderr, kind, texts in cases:
            with self.subTest(name):
                command = ["flash-pci"] if "flash-pci" in stdout else ["discover"]
                with self.assertRaises(SkyfwError) as raised:
                    parse_output(command, rc, stdout, stderr)
                error = raised.exception
                self.assertEqual(error.kind, kind)
                for text in texts:
                    self.assertIn(text, error.msg)
                fields = error.fail_fields()
                self.assertEqual((fields["rc"], fields["stdout"], fields["stderr"]),
                                 (rc, stdout, stderr))

    def test_the_error_keeps_the_result_code_and_a_partial_document(self):
        answer = document("flash", 7, error={"kind": "install_failed", "message": "m",
                                             "result": {"code": 106, "text": "t"}},
                          adapters=[adapter("0000:03:00.0")])
        with self.assertRaises(SkyfwError) as raised:
            parse_output(["flash"], 7, dumped(answer), "")
        self.assertEqual(raised.exception.result_code, 106)
        self.assertEqual(raised.exception.document["adapters"][0]["pci"], "0000:03:00.0")
        self.assertEqual(raised.exception.fail_fields()["skyfw_error"]["kind"], "install_failed")


if __name__ == "__main__":
    unittest.main()
