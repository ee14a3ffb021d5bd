-- Pandoc filter for the guide's HTML: the page title is the guide's first heading, and a link
-- to another guide (guide.zh-CN.md) points at its HTML page.
function Link(link)
  link.target = link.target:gsub("^(guide%.[%w-]+)%.md", "%1.html")
  return link
end

function Pandoc(doc)
  if not doc.meta.pagetitle then
    for _, block in ipairs(doc.blocks) do
      if block.t == "Header" and block.level == 1 then
        doc.meta.pagetitle = pandoc.utils.stringify(block)
        break
      end
    end
  end
  return doc
end
