#!/usr/bin/env python3
"""The demo's download site: a sample catalogue of quota libraries and tools
with their packages, laid out as the two mirror folders, the way a vendor
publishes one: every package carries its "sha256" and the catalogue archive
is signed.

  demo_site.py SAMPLE_EXE OUT [--sign PRIVATE.pem]
      builds OUT/mirror1 and OUT/mirror2; with --sign the catalogue archive
      is made by scripts/sign-catalogue with that key
  demo_site.py --serve ROOT PORT RUN_DIR
      serves ROOT (the folder that holds download/) with nginx on PORT until
      stopped; nginx keeps its configuration and logs in RUN_DIR
  demo_site.py --cut-routes ROOT OUT
      writes OUT, a route file for the scripted fault server
      (tests/servers/servers.py) that serves ROOT's files as a flaky mirror
      would: the catalogue as it is, every package cut once at 80% and then
      resumable with Range (its validator the one nginx gives the same file)
"""
import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import site_builder as sb  # noqa: E402

N = sb.Node
LIB = "C:\\沃蒙\\定额库\\"


def dek(name, file_name, target, date="2026-1-15 8:00:00", state=None, path=None):
    attrs = [("name", name), ("fileName", file_name), ("modifyDate", date)]
    if path:
        attrs.append(("path", path))
    if state:
        attrs.append(("state", state))
    return N("Dek", attrs, package=dict(name=name, target=LIB + target, delay_ms=800))


def catalogue():
    return N("InstallFiles", [("name", "沃蒙定额库目录")], [
        N("Version", [("name", "2026.1"), ("date", "2026-1-15")]),
        N("Group", [("name", "全国统一定额"), ("path", "dek/national"), ("state", "3")], [
            dek("全国建筑工程基础定额", "jzjc2026.exe", "jzjc2026.dek", state="2"),
            dek("全国安装工程预算定额", "azys2026.exe", "azys2026.dek"),
            dek("全国市政工程消耗量定额", "szxh2026.exe", "szxh2026.dek", state="2"),
        ]),
        N("Group", [("name", "地区定额"), ("path", "dek/region"), ("state", "3")], [
            N("Group", [("name", "北京"), ("path", "dek/region/beijing"), ("state", "3")], [
                dek("北京建设工程计价依据2012", "bj2012.exe", "bj2012.dek", state="2"),
                dek("北京房屋修缮定额", "bjxs.exe", "bjxs.dek"),
            ]),
            N("Group", [("name", "上海")], [
                dek("上海建筑和装饰工程预算定额", "sh2016.exe", "sh2016.dek", path="dek/region/shanghai"),
            ]),
            N("Group", [("name", "广东"), ("path", "dek/region/guangdong")], [
                dek("广东省建筑与装饰工程综合定额", "gd2018.exe", "gd2018.dek"),
            ]),
        ]),
        N("Group", [("name", "工具与补丁"), ("path", "tools")], [
            N("Tool", [("name", "定额换算工具"), ("fileName", "convert.exe"), ("state", "2")],
              package=dict(target="C:\\沃蒙\\工具\\convert.dat", record="no")),
            N("Tool", [("name", "报表模板更新"), ("fileName", "report tpl.exe")],
              package=dict(target="C:\\沃蒙\\工具\\report.dat", record="no")),
        ]),
    ])


def write_cut_routes(root, out):
    """The fault server's routes for every file below ROOT/download."""
    lines = []
    download = os.path.join(root, "download")
    for folder, _, names in os.walk(download):
        for name in sorted(names):
            path = os.path.join(folder, name)
            url = "/download/" + os.path.relpath(path, download).replace(os.sep, "/")
            mode = "/file/0/0" if name == "InstallFiles.zip" else "/ranged/80/1/honest/0/0"
            lines.append("%s\t%s\t%s\n" % (url, mode, os.path.abspath(path)))
    with open(out, "w", encoding="utf-8") as f:
        f.writelines(lines)


def main():
    if sys.argv[1] == "--cut-routes":
        write_cut_routes(sys.argv[2], sys.argv[3])
        return 0
    if sys.argv[1] == "--serve":
        site, port, run_dir = sys.argv[2], int(sys.argv[3]), sys.argv[4]
        signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt()))
        try:
            with sb.serve(run_dir, [(port, site)], slow_rate=None):
                print("demo: %s on http://127.0.0.1:%d/download/ as mirror 2" % (site, port), flush=True)
                try:
                    while True:
                        time.sleep(3600)
                except KeyboardInterrupt:
                    pass
        except sb.nginx_site.NginxError as e:
            print("demo: %s" % e, file=sys.stderr)
            return 1
        return 0
    sample, out = sys.argv[1], sys.argv[2]
    key = sys.argv[4] if sys.argv[3:4] == ["--sign"] else None
    root = catalogue()
    # Every package carries its "sha256", as a vendor's do (scripts/package-hash).
    for node, _ in sb.walk_packages(root):
        node.digest = True
    sb.build(out, root, sample, signing_key=key)
    return 0


if __name__ == "__main__":
    sys.exit(main())
