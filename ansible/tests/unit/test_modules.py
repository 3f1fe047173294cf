"""The modules against a scripted skyfw: what they run, and what they report
for success, each failure shape and output that is not JSON."""

import os
import unittest

from skyfw_fakes import adapter, answer, document, installed, node, run_module

from ansible_collections.norvane.skyfw.plugins.modules import skyfw_backup, skyfw_info, \
    skyfw_update

S2, S1A, S1B = "0000:03:00.0", "0000:05:00.0", "0000:08:00.0"

PLUGIN_NOT_LOADED = answer(3, document(None, 3, error={
    "kind": "plugin", "message": "the plug-in could not be loaded"}))


class InfoTest(unittest.TestCase):
    def test_adapters_become_facts(self):
        found = [adapter(S2), adapter(S1A, "20.6.1", "20.6.1", "rewrite"),
                 adapter(S1B, "20.2.0", None, None)]
        with node() as (folder, skyfw):
            result, failed, runs = run_module(
                skyfw_info.main, dict(skyfw=skyfw, machine="/m", firmware="/fw"),
                [answer(0, document("discover", firmware="/fw", adapters=found))],
                tmpdir=folder)
        self.assertFalse(failed, result)
        self.assertFalse(result["changed"])
        facts = result["ansible_facts"]["skyfw_adapters"]
        self.assertEqual(facts, result["adapters"])
        self.assertEqual([(a["pci"], a["current_version"], a["package_version"], a["action"])
                          for a in facts],
                         [(S2, "21.6.2", "21.8.0", "upgrade"), (S1A, "20.6.1", "20.6.1", "rewrite"),
                          (S1B, "20.2.0", None, None)])
        argv = runs.calls[0]
        self.assertEqual(argv[:4], [skyfw, "--json", "--machine", "/m"])
        self.assertEqual(argv[4], "discover")
        # The discovery document, and whatever skyfw writes by default, go to
        # the module's scratch folder, never into the remote user's working
        # directory.
        self.assertEqual(runs.folders, [folder])
        self.assertEqual(argv[argv.index("--output") + 1], os.path.join(folder, "discovery.xml"))
        self.assertEqual(argv[argv.index("--fw") + 1], "/fw")

    def test_no_adapter_is_an_empty_list_but_a_library_failure_fails(self):
        def no_device(code):
            return answer(4, document("discover", 4, error={
                "kind": "no_device", "message": "no adapter",
                "result": {"code": code, "text": "t"}}))
        with node() as (_, skyfw):
            result, failed, _ = run_module(skyfw_info.main, dict(skyfw=skyfw), [no_device(102)])
            self.assertFalse(failed, result)
            self.assertEqual(result["ansible_facts"]["skyfw_adapters"], [])
            result, failed, _ = run_module(skyfw_info.main, dict(skyfw=skyfw), [no_device(101)])
            self.assertTrue(failed)
            self.assertEqual((result["rc"], result["error_kind"]), (4, "no_device"))

    def test_failures_carry_rc_and_output(self):
        cases = [
            ("plug-in", PLUGIN_NOT_LOADED, 3, "the plug-in could not be loaded"),
            ("not JSON", (0, "garbage\n", "warning: x\n"), 0, "not JSON"),
            ("nothing", (139, "", "Segmentation fault\n"), 139, "Segmentation fault"),
        ]
        with node() as (_, skyfw):
            for name, run, rc, text in cases:
                with self.subTest(name):
                    result, failed, _ = run_module(skyfw_info.main, dict(skyfw=skyfw), [run])
                    self.assertTrue(failed)
                    self.assertIn(text, result["msg"])
                    self.assertEqual((result["rc"], result["stdout"], result["stderr"]),
                                     (rc, run[1], run[2]))

    def test_a_missing_program_fails_before_running(self):
        for skyfw in ("/nonexistent/skyfw", "skyfw-not-on-any-path"):
            with self.subTest(skyfw):
                result, failed, runs = run_module(skyfw_info.main, dict(skyfw=skyfw), [])
                self.assertTrue(failed)
                self.assertIn(skyfw, result["msg"])
                self.assertEqual(runs.calls, [])


class UpdateTest(unittest.TestCase):
    def update(self, answers, check_mode=False, **args):
        with node() as (folder, skyfw):
            args.setdefault("skyfw", skyfw)
            return run_module(skyfw_update.main, args, answers, check_mode, tmpdir=folder)

    def flash(self, adapters, rc=0, error=None, **fields):
        fields.setdefault("reboot_required", any(a.get("pending_reboot") for a in adapters))
        return answer(rc, document("flash", rc, error=error, dry_run=False,
                                   result={"code": 1 if rc == 0 else 106, "text": "t"},
                                   adapters=adapters, **fields))

    def test_installs_and_reports_each_adapter(self):
        skipped = adapter(S1B, "20.6.1", "20.6.1", "rewrite",
                          install={"status": "skipped", "reason": "rewrite needs --allow-reinstall",
                                   "code": None},
                          version_after="20.6.1", in_place=False, pending_reboot=False)
        result, failed, runs = self.update([self.flash([installed(S2), installed(
            S1A, "20.4.1", "20.6.1"), skipped])])
        self.assertFalse(failed, result)
        self.assertTrue(result["changed"])
        self.assertTrue(result["reboot_required"])
        self.assertEqual(result["installed"], [S2, S1A])
        by_pci = {a["pci"]: a for a in result["adapters"]}
        self.assertEqual((by_pci[S1A]["status"], by_pci[S1A]["version_after"],
                          by_pci[S1A]["pending_reboot"]), ("installed", "20.6.1", True))
        self.assertEqual((by_pci[S1B]["status"], by_pci[S1B]["reason"]),
                         ("skipped", "rewrite needs --allow-reinstall"))
        self.assertNotIn("--dry-run", runs.calls[0])
        self.assertEqual(runs.commands(), ["flash"])

    def test_nothing_to_install_is_unchanged(self):
        rewrite = adapter(S2, "21.8.0", "21.8.0", "rewrite",
                          install={"status": "skipped", "reason": "rewrite needs --allow-reinstall",
                                   "code": None},
                          version_after="21.8.0", in_place=False, pending_reboot=False)
        no_package = adapter(S1A, "20.4.1", None, None,
                             install={"status": "skipped", "reason": "no package", "code": None},
                             version_after="20.4.1", in_place=False, pending_reboot=False)
        result, failed, _ = self.update([self.flash([rewrite, no_package])])
        self.assertFalse(failed, result)
        self.assertFalse(result["changed"])
        self.assertFalse(result["reboot_required"])
        self.assertEqual(result["installed"], [])

    def test_check_mode_is_a_dry_run(self):
        would = adapter(S2, install={"status": "would_install", "code": None})
        skipped = adapter(S1A, install={"status": "skipped", "reason": "--skip", "code": None})
        for adapters, changed in (([would, skipped], True), ([skipped], False)):
            with self.subTest(changed=changed):
                result, failed, runs = self.update(
                    [answer(0, document("flash", dry_run=True, reboot_required=False,
                                        adapters=adapters))], check_mode=True)
                self.assertFalse(failed, result)
                self.assertIn("--dry-run", runs.calls[0])
                self.assertEqual(result["changed"], changed)
                self.assertEqual(result["installed"], [S2] if changed else [])
                self.assertNotIn("version_after", result["adapters"][0])

    def test_options_reach_the_command_line(self):
        cases = [
            (dict(), []),
            (dict(allow_reinstall=True), ["--allow-reinstall"]),
            (dict(allow_older=True, skip=[S1A, "020A3B718C20"]),
             ["--allow-older", "--skip", S1A, "--skip", "020A3B718C20"]),
            (dict(firmware="/srv/fw"), ["--fw", "/srv/fw"]),
        ]
        for args, expected in cases:
            with self.subTest(args):
                _, failed, runs = self.update([self.flash([])], **args)
                self.assertFalse(failed)
                argv = runs.calls[0]
                start = argv.index("flash") + 1
                options = argv[start:]
                document_at = options.index("--document")
                del options[document_at:document_at + 2]
                self.assertEqual(options, expected)

    def test_a_failed_install_fails_the_host_but_reports_what_was_installed(self):
        failed_s1 = adapter(S1A, "20.4.1", "20.6.1",
                            install={"status": "failed", "code": 106,
                                     "cause": ["[QVFWUPG LIB :DEBUG] 1.1: item 8 refused"]},
                            version_after="20.4.1", in_place=False, pending_reboot=False)
        not_reached = adapter(S1B, "20.2.0", "20.6.1",
                              install={"status": "not_attempted", "code": None},
                              version_after="20.2.0", in_place=False, pending_reboot=False)
        error = {"kind": "install_failed", "message": "the installation on 0000:05:00.0 failed",
                 "result": {"code": 106, "text": "Flashing of device with file failed."}}
        result, failed, _ = self.update([self.flash([installed(S2), failed_s1, not_reached],
                                                    rc=7, error=error)])
        self.assertTrue(failed)
        self.assertEqual(result["rc"], 7)
        # One adapter did get new firmware: the host changed and needs a reboot.
        self.assertTrue(result["changed"])
        self.assertTrue(result["reboot_required"])
        self.assertEqual(result["installed"], [S2])
        self.assertIn("0000:05:00.0: failed (status 106): [QVFWUPG LIB :DEBUG] 1.1: item 8 "
                      "refused", result["msg"])
        self.assertIn("0000:08:00.0: not attempted", result["msg"])
        self.assertEqual(result["skyfw_error"]["kind"], "install_failed")

    def test_read_back_decides_beyond_the_install_status(self):
        wrong = adapter(S2, install={"status": "installed", "code": 1}, version_after="21.6.2",
                        in_place=False, pending_reboot=False)
        unread = dict(installed(S2), version_after=None, in_place=False)
        result, failed, _ = self.update([self.flash([wrong])])
        self.assertTrue(failed)
        self.assertIn("installed 21.8.0 but the adapter reports 21.6.2", result["msg"])
        self.assertTrue(result["changed"])
        result, failed, _ = self.update([self.flash([unread])])
        self.assertFalse(failed, result)
        self.assertIn("could not be read back", " ".join(result["warnings"]))

    def test_failures_before_any_install(self):
        usage = answer(2, document("flash", 2, error={
            "kind": "usage", "message": "--skip 0000:99:00.0 matches no adapter: 0000:03:00.0"}))
        not_found = answer(5, document("flash", 5, error={
            "kind": "not_found", "message": "firmware folder /fw not found",
            "result": {"code": 8, "text": "could not find the firmware file."}}))
        cases = [
            ("usage", usage, 2, "matches no adapter"),
            ("firmware", not_found, 5, "firmware folder /fw not found (result 8"),
            ("plug-in", PLUGIN_NOT_LOADED, 3, "could not be loaded"),
            ("bad JSON", (1, "{", ""), 1, "not JSON"),
        ]
        for name, run, rc, text in cases:
            with self.subTest(name):
                result, failed, _ = self.update([run])
                self.assertTrue(failed)
                self.assertFalse(result["changed"])
                self.assertEqual(result["rc"], rc)
                self.assertIn(text, result["msg"])


class BackupTest(unittest.TestCase):
    def dump(self, pci, file, code=0, cause=None):
        backup = {"status": "written" if code == 0 else "failed", "code": code, "file": file}
        found = adapter(pci, backup=backup)
        if code == 0:
            return answer(0, document("dump", result={"code": 0, "text": "written"},
                                      adapters=[found]))
        backup["cause"] = cause or []
        return answer(7, document("dump", 7, error={
            "kind": "install_failed", "message": "the backup of %s failed" % pci,
            "result": {"code": code, "text": "the backup failed"}, "cause": cause or []},
            adapters=[found]))

    def discover(self, *pcis):
        return answer(0, document("discover", adapters=[adapter(p) for p in pcis]))

    def test_each_adapter_into_a_folder_it_makes(self):
        with node() as (folder, skyfw):
            target = os.path.join(folder, "backups", "today")
            result, failed, runs = run_module(
                skyfw_backup.main, dict(skyfw=skyfw, path=target),
                # A prepared request may list a device twice.
                [self.discover(S2, S1A, S1A), self.dump(S2, "a"), self.dump(S1A, "b")],
                tmpdir=folder)
            self.assertTrue(os.path.isdir(target))
        self.assertFalse(failed, result)
        self.assertTrue(result["changed"])
        files = [os.path.join(target, "nvram-0000-03-00.0.pkg"),
                 os.path.join(target, "nvram-0000-05-00.0.pkg")]
        self.assertEqual(result["files"], files)
        self.assertEqual(runs.commands(), ["discover", "dump", "dump"])
        self.assertEqual(runs.calls[1][-3:], [files[0], "--pci", S2])
        self.assertEqual([b["status"] for b in result["backups"]], ["written", "written"])
        self.assertEqual(result["backups"][0]["mac"], "02:0a:3b:00:00:00")

    def test_one_adapter_into_a_file_or_a_folder(self):
        with node() as (folder, skyfw):
            for path, expected in ((os.path.join(folder, "s2.pkg"), "s2.pkg"),
                                   (folder, "nvram-0000-03-00.0.pkg")):
                with self.subTest(path):
                    result, failed, runs = run_module(
                        skyfw_backup.main, dict(skyfw=skyfw, pci=S2, path=path),
                        [self.dump(S2, path)], tmpdir=folder)
                    self.assertFalse(failed, result)
                    self.assertEqual(result["files"], [os.path.join(folder, expected)])
                    self.assertEqual(runs.commands(), ["dump"])
                    self.assertEqual(result["backups"][0]["current_version"], "21.6.2")

    def test_check_mode_and_kept_files_write_nothing(self):
        with node() as (folder, skyfw):
            target = os.path.join(folder, "b")
            result, failed, runs = run_module(
                skyfw_backup.main, dict(skyfw=skyfw, path=target), [self.discover(S2, S1A)],
                check_mode=True, tmpdir=folder)
            self.assertFalse(failed, result)
            self.assertTrue(result["changed"])
            self.assertEqual([b["status"] for b in result["backups"]],
                             ["would_write", "would_write"])
            self.assertEqual(runs.commands(), ["discover"])
            self.assertFalse(os.path.exists(target))

            os.mkdir(target)
            kept = os.path.join(target, "nvram-0000-03-00.0.pkg")
            open(kept, "w").close()
            result, failed, runs = run_module(
                skyfw_backup.main, dict(skyfw=skyfw, path=target, force=False),
                [self.discover(S2, S1A), self.dump(S1A, "x")], tmpdir=folder)
            self.assertFalse(failed, result)
            self.assertEqual([b["status"] for b in result["backups"]], ["exists", "written"])
            self.assertEqual(runs.commands(), ["discover", "dump"])

    def test_a_failed_backup_fails_the_host_and_stops(self):
        with node() as (folder, skyfw):
            result, failed, runs = run_module(
                skyfw_backup.main, dict(skyfw=skyfw, path=folder),
                [self.discover(S2, S1A, S1B), self.dump(S2, "a"),
                 self.dump(S1A, "b", code=-5, cause=["[QVFWUPG LIB :DEBUG] 1.1: read failed"])],
                tmpdir=folder)
        self.assertTrue(failed)
        self.assertTrue(result["changed"])
        self.assertEqual(result["rc"], 7)
        self.assertIn("the backup of 0000:05:00.0 failed", result["msg"])
        self.assertIn("read failed", result["msg"])
        self.assertEqual([(b["status"], b["code"]) for b in result["backups"]],
                         [("written", 0), ("failed", -5), ("not_attempted", None)])
        self.assertEqual(len(result["files"]), 1)
        self.assertEqual(runs.commands(), ["discover", "dump", "dump"])

    def test_bad_targets_and_discovery_failures(self):
        with node() as (folder, skyfw):
            a_file = os.path.join(folder, "not-a-folder")
            open(a_file, "w").close()
            result, failed, runs = run_module(skyfw_backup.main, dict(skyfw=skyfw, path=a_file),
                                              [], tmpdir=folder)
            self.assertTrue(failed)
            self.assertIn("not a folder", result["msg"])
            result, failed, runs = run_module(skyfw_backup.main, dict(skyfw=skyfw, path=folder),
                                              [(0, "<html>", "")], tmpdir=folder)
            self.assertTrue(failed)
            self.assertIn("not JSON", result["msg"])
            self.assertEqual(runs.commands(), ["discover"])


if __name__ == "__main__":
    unittest.main()
