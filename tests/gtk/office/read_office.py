# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads a .docx or .pptx back the way an Office program would start to: the ZIP, the content types
every part needs, the relationships and their targets, the text and the pictures. Prints a JSON
summary; exits 1 with the reason when the package is broken."""
import json
import posixpath
import sys
import zipfile
import xml.etree.ElementTree as ET

CT = '{http://schemas.openxmlformats.org/package/2006/content-types}'
REL = '{http://schemas.openxmlformats.org/package/2006/relationships}'
A = '{http://schemas.openxmlformats.org/drawingml/2006/main}'
W = '{http://schemas.openxmlformats.org/wordprocessingml/2006/main}'
P = '{http://schemas.openxmlformats.org/presentationml/2006/main}'
R = '{http://schemas.openxmlformats.org/officeDocument/2006/relationships}'


def fail(reason):
    print(reason)
    sys.exit(1)


def main(path):
    z = zipfile.ZipFile(path)
    if z.testzip() is not None:
        fail('bad CRC')
    names = set(z.namelist())
    xml = {n: ET.fromstring(z.read(n)) for n in names if n.endswith('.xml') or n.endswith('.rels')}
    types = xml['[Content_Types].xml']
    defaults = {d.get('Extension'): d.get('ContentType') for d in types.iter(CT + 'Default')}
    overrides = {o.get('PartName').lstrip('/'): o.get('ContentType') for o in types.iter(CT + 'Override')}
    for n in names:
        if n != '[Content_Types].xml' and n not in overrides and n.rsplit('.', 1)[-1] not in defaults:
            fail('no content type for ' + n)
    for part in overrides:
        if part not in names:
            fail('content type for a missing part ' + part)
    rels = {}
    for n in names:
        if not n.endswith('.rels'):
            continue
        folder, base = posixpath.split(n)
        source_dir = posixpath.dirname(folder)
        for r in xml[n].iter(REL + 'Relationship'):
            target = posixpath.normpath(posixpath.join(source_dir, r.get('Target')))
            if target not in names:
                fail('relationship %s in %s points at a missing %s' % (r.get('Id'), n, target))
            rels[(posixpath.join(source_dir, base[:-5]), r.get('Id'))] = target
    # Every r:embed and r:id in a part resolves through that part's relationships.
    for n, root in xml.items():
        if n.endswith('.rels'):
            continue
        for el in root.iter():
            for attr in (R + 'embed', R + 'id'):
                if el.get(attr) and (n, el.get(attr)) not in rels:
                    fail('%s in %s has no relationship' % (el.get(attr), n))
    out = {'images': sorted(n for n in names if '/media/' in n)}
    if 'word/document.xml' in names:
        body = xml['word/document.xml'].find(W + 'body')
        out['paragraphs'] = [''.join(t.text or '' for t in p.iter(W + 't')) for p in body.iter(W + 'p')]
        out['inline'] = [[int(e.get('cx')), int(e.get('cy'))] for e in body.iter(
            '{http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing}extent')]
    if 'ppt/presentation.xml' in names:
        pres = xml['ppt/presentation.xml']
        size = pres.find(P + 'sldSz')
        out['size'] = [int(size.get('cx')), int(size.get('cy'))]
        slides = []
        for sid in pres.iter(P + 'sldId'):
            part = rels[('ppt/presentation.xml', sid.get(R + 'id'))]
            shapes = []
            for el in xml[part].find(P + 'cSld').find(P + 'spTree'):
                if el.tag not in (P + 'sp', P + 'pic'):
                    continue
                off = el.find('.//' + A + 'off')
                ext = el.find('.//' + A + 'ext')
                text = '\n'.join(''.join(t.text or '' for t in p.iter(A + 't')) for p in el.iter(A + 'p'))
                shapes.append({'kind': el.tag[len(P):], 'box': [int(off.get('x')), int(off.get('y')),
                               int(ext.get('cx')), int(ext.get('cy'))], 'text': text})
            slides.append(shapes)
        out['slides'] = slides
    print(json.dumps(out, ensure_ascii=False))


if __name__ == '__main__':
    main(sys.argv[1])
