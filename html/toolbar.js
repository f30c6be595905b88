// SPDX-License-Identifier: GPL-3.0-or-later
// The toolbar keeps to one row at every window width and in every language: the controls that do
// not fit move, least used first, into the "…" menu at its end, and come back when there is room.
// They move as they are (same element, id, listeners and state), so nothing else needs to know.
'use strict';

const toolbar = (() => {
  const bar = document.querySelector('.toolbar');
  const more = document.getElementById('toolbar-more');
  const moreBody = more.querySelector('.menu-body');
  const zoom = document.getElementById('zoom-level');

  // Least used first. The selects, the PDF import, Open and Save are in the menu bar too, and
  // Delete has its key; the brand, Add note, Export, the zoom level and Tools always stay.
  const ORDER = ['sens-select', 'lang-select', 'btn-import', 'btn-openfile', 'btn-savefile', 'btn-delete',
                 'btn-save', 'btn-open'];

  const items = ORDER.map((id) => {
    const el = document.getElementById(id);
    const home = document.createComment(id);  // where it goes back to
    el.before(home);
    // A select in the menu reads as a labelled row, with the text its tooltip gives it.
    const row = el.tagName === 'SELECT' ? document.createElement('label') : null;
    row?.append(document.createElement('span'));
    return { el, home, row };
  });
  // The menu lists what it holds in the toolbar's own order.
  const inBarOrder = [...items].sort((a, b) =>
    a.home.compareDocumentPosition(b.home) & Node.DOCUMENT_POSITION_FOLLOWING ? -1 : 1);

  const shown = (el) => el.getClientRects().length > 0;

  // True when the row's last control ends inside the toolbar's padding box.
  function fits() {
    let last = bar.lastElementChild;
    while (last && !shown(last)) last = last.previousElementSibling;
    if (!last) return true;
    const right = bar.getBoundingClientRect().right - parseFloat(getComputedStyle(bar).paddingRight);
    return last.getBoundingClientRect().right <= right + 0.5;
  }

  // A separator with nothing left after it in its group would stand alone.
  function tidySeparators() {
    for (const sep of bar.querySelectorAll(':scope > .sep')) {
      let next = sep.nextElementSibling;
      while (next && !next.matches('.sep, .grow') && !shown(next)) next = next.nextElementSibling;
      sep.hidden = !next || next.matches('.sep, .grow');
    }
  }

  let laidOutWidth = -1, zoomWidth = -1;

  // Controls that show no words of their own (the selects, the zoom level, "…") are named by their
  // tooltip, in the page's language, wherever they are: a select moved into the menu sits in a
  // label row whose text would otherwise run into its options.
  function nameControls() {
    for (const el of bar.querySelectorAll('[data-i18n-title]')) {
      if (el.title && el.getAttribute('aria-label') !== el.title) el.setAttribute('aria-label', el.title);
    }
  }

  function layout() {
    nameControls();
    const focused = document.activeElement;
    for (const { el, home, row } of items) {
      home.after(el);
      row?.remove();
    }
    more.hidden = true;
    tidySeparators();
    let count = 0;
    while (count < items.length && !fits()) {
      more.hidden = false;
      const { el } = items[count++];
      el.remove();
      tidySeparators();
    }
    for (const item of inBarOrder.filter((it) => items.indexOf(it) < count)) {
      if (item.row) {
        item.row.firstElementChild.textContent = item.el.title;
        item.row.append(item.el);
        moreBody.append(item.row);
      } else {
        moreBody.append(item.el);
      }
    }
    if (!count) more.open = false;
    if (focused && focused !== document.activeElement && focused.isConnected) focused.focus();
    laidOutWidth = bar.clientWidth;
    zoomWidth = zoom.offsetWidth;
    watcher.takeRecords();  // our own moves are no reason to lay out again
  }

  // Texts change with the language (labels, options, tooltips); the zoom level changes often but
  // only matters when its width does.
  const watcher = new MutationObserver((records) => {
    const onlyZoom = records.every((r) => zoom.contains(r.target));
    if (!onlyZoom || zoom.offsetWidth !== zoomWidth) layout();
  });
  watcher.observe(bar, { subtree: true, childList: true, characterData: true, attributes: true,
                         attributeFilter: ['title', 'hidden'] });
  watcher.observe(document.documentElement, { attributes: true, attributeFilter: ['lang'] });
  new ResizeObserver(() => { if (bar.clientWidth !== laidOutWidth) layout(); }).observe(bar);
  // The dark style draws its selects otherwise than the light one.
  matchMedia('(prefers-color-scheme: dark)').addEventListener('change', () => layout());
  document.fonts?.ready.then(() => layout());

  // A menu closes once it has done its work, on a click elsewhere and on Escape, as menus do.
  const menus = () => bar.querySelectorAll('details.menu[open]');
  moreBody.addEventListener('click', (e) => { if (e.target.closest('button')) more.open = false; });
  moreBody.addEventListener('change', () => { more.open = false; });
  document.addEventListener('pointerdown', (e) => {
    for (const menu of menus()) if (!menu.contains(e.target)) menu.open = false;
  });
  document.addEventListener('keydown', (e) => {
    if (e.key !== 'Escape') return;
    for (const menu of menus()) {
      menu.open = false;
      if (menu.contains(document.activeElement)) menu.querySelector('summary').focus();
    }
  });

  layout();
  return { layout };
})();
