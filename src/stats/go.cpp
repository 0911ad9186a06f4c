#include "stats/go.h"

#include <algorithm>
#include <boost/graph/depth_first_search.hpp>
#include <boost/graph/graph_utility.hpp>
#include <boost/graph/strong_components.hpp>
#include <fstream>
#include <iostream>
#include <iterator>

#include "Matrix/FreqTable.h"
#include "cli/fail.h"
#include "cli/print_banner.h"
#include "files/tokenize.h"
#include "stats/seen_pairs.h"

namespace {

typedef boost::graph_traits<Graph>::vertex_descriptor Vertex;

/// The vertex named `name`, added with that name when `vertex_of` does not know it yet.
Vertex find_or_add_vertex(const std::string& name, std::map<std::string, Vertex>& vertex_of,
                          Graph& graph) {
  const auto found = vertex_of.find(name);
  if (found != vertex_of.end()) return found->second;
  const Vertex vertex = boost::add_vertex(GoVertexProperty(name), graph);
  vertex_of.emplace(name, vertex);
  return vertex;
}

/// All vertices reachable from `start` along out-edges, `start` itself excluded even when a
/// cycle leads back to it.
std::set<int> reachable_from(Vertex start, const Graph& graph) {
  std::set<int> reached;
  std::vector<bool> seen(boost::num_vertices(graph), false);
  std::vector<Vertex> stack(1, start);
  seen[start] = true;
  while (!stack.empty()) {
    const Vertex u = stack.back();
    stack.pop_back();
    for (const auto& edge : boost::make_iterator_range(boost::out_edges(u, graph))) {
      const Vertex child = boost::target(edge, graph);
      if (seen[child]) continue;
      seen[child] = true;
      reached.insert(static_cast<int>(child));
      stack.push_back(child);
    }
  }
  return reached;
}

template <class Container>
void print_each_followed_by_comma(const Container& items) {
  for (const auto& item : items) std::cout << item << ", ";
  std::cout << '\n';
}

}  // namespace

GOData::GOData() = default;

GOData::GOData(const std::string& filename, const std::string& goType) { makeGO(filename, goType); }

void GOData::makeGO(const std::string& filename, const std::string& goType) {
  goedges_filename = filename;
  go_type = goType;
  load_go_graph();
  nvertices = static_cast<int>(boost::num_vertices(go_graph));
  create_go_map();
  create_govec();
  determine_compute_sequence();
  compute_degrees();
}

void GOData::load_go_graph() {
  DataLines in(goedges_filename, "error: " + goedges_filename + " not found");
  std::map<std::string, Vertex> vertex_of;
  std::vector<std::string> fields;
  while (in.next(fields)) {
    if (fields.size() != 4)
      fail_stderr("error: " + goedges_filename + " has " + std::to_string(fields.size()) +
                  " items, but expect 4");
    const std::string& name_space = fields[0];
    std::string child = fields[1];
    std::string parent = fields[3];
    // "A has_part B" puts B below A, the reverse of every other relation.
    if (fields[2] == "has_part") std::swap(child, parent);
    if (go_type != "all" && name_space != go_type) continue;
    const Vertex parent_vertex = find_or_add_vertex(parent, vertex_of, go_graph);
    const Vertex child_vertex = find_or_add_vertex(child, vertex_of, go_graph);
    boost::add_edge(parent_vertex, child_vertex, GoEdgeProperty(1.0f), go_graph);
  }
  in.require_data_lines("GO edges: namespace, child, relation, parent");
}

void GOData::create_go_map() {
  const auto names = boost::get(vertex_go_name_t(), go_graph);
  for (int i = 0; i < nvertices; ++i) go_map[names[static_cast<Vertex>(i)]] = i;
}

void GOData::create_govec() {
  govec.resize(govec.size() + static_cast<std::size_t>(nvertices));
  for (const auto& entry : go_map) govec[static_cast<std::size_t>(entry.second)].name = entry.first;
}

namespace {

/// Records each vertex as it finishes, so children (when acyclic) precede their parents.
struct finish_vertex : public boost::base_visitor<finish_vertex> {
  typedef boost::on_finish_vertex event_filter;
  std::vector<int>& seq_finish_vert;
  int index;
  explicit finish_vertex(std::vector<int>& seq) : seq_finish_vert(seq), index(0) {}
  void operator()(Vertex u, const Graph&) {
    seq_finish_vert[static_cast<std::size_t>(index)] = static_cast<int>(u);
    ++index;
  }
};

/// A back edge in a directed depth-first search closes a cycle.
struct back_edge_flag : public boost::base_visitor<back_edge_flag> {
  typedef boost::on_back_edge event_filter;
  bool& found;
  explicit back_edge_flag(bool& flag) : found(flag) {}
  template <class Edge>
  void operator()(Edge, const Graph&) {
    found = true;
  }
};

}  // namespace

void GOData::determine_compute_sequence() {
  compute_seq.assign(static_cast<std::size_t>(nvertices), 0);
  has_cycles = false;
  if (nvertices == 0) return;
  boost::depth_first_search(
      go_graph, boost::visitor(boost::make_dfs_visitor(
                    std::make_pair(finish_vertex(compute_seq), back_edge_flag(has_cycles)))));
  // has_part and regulates edges can close a loop; the finishing order then no longer puts
  // every child before its parents, so find_descendants has to search instead of merge.
  if (has_cycles)
    std::cout << "warning: GO graph in file " << goedges_filename
              << " has cycles; descendants are found by search" << std::endl;
}

void GOData::compute_degrees() {
  const auto degree = boost::get(vertex_go_degree_t(), go_graph);
  const auto in_degree = boost::get(vertex_go_in_degree_t(), go_graph);
  const auto out_degree = boost::get(vertex_go_out_degree_t(), go_graph);
  for (const Vertex v : boost::make_iterator_range(boost::vertices(go_graph))) {
    const int in = static_cast<int>(boost::in_degree(v, go_graph));
    const int out = static_cast<int>(boost::out_degree(v, go_graph));
    in_degree[v] = in;
    out_degree[v] = out;
    degree[v] = in + out;
  }
}

int GOData::count_roots() const {
  int roots = 0;
  for (const Vertex v : boost::make_iterator_range(boost::vertices(go_graph)))
    if (boost::in_degree(v, go_graph) == 0) ++roots;
  return roots;
}

int GOData::count_leaves() const {
  int leaves = 0;
  for (const Vertex v : boost::make_iterator_range(boost::vertices(go_graph)))
    if (boost::out_degree(v, go_graph) == 0) ++leaves;
  return leaves;
}

void GOData::find_descendants() {
  if (has_cycles) {
    for (int i = 0; i < nvertices; ++i)
      govec[static_cast<std::size_t>(i)].descendants =
          reachable_from(static_cast<Vertex>(i), go_graph);
    return;
  }
  // Finishing order completes each child's set before it is merged into its parents.
  for (const int c : compute_seq) {
    const GO& child = govec[static_cast<std::size_t>(c)];
    for (const auto& edge :
         boost::make_iterator_range(boost::in_edges(static_cast<Vertex>(c), go_graph))) {
      std::set<int>& into = govec[boost::source(edge, go_graph)].descendants;
      into.insert(c);
      into.insert(child.descendants.begin(), child.descendants.end());
    }
  }
}

namespace {

/// `into` (ascending) united with `more` (ascending).
void merge_sorted(std::vector<int>& into, const std::vector<int>& more, std::vector<int>& scratch) {
  scratch.clear();
  std::set_union(into.begin(), into.end(), more.begin(), more.end(), std::back_inserter(scratch));
  into.swap(scratch);
}

}  // namespace

void GOData::find_gene_sets(int max_genes) {
  // Terms of one strongly connected component reach each other, so they share one gene set.
  // Tarjan's numbering finishes a component after every component it reaches: ascending
  // numbers put children before parents, whether or not the graph has cycles.
  std::vector<int> component(static_cast<std::size_t>(nvertices));
  const int ncomponents = nvertices == 0 ? 0 : boost::strong_components(go_graph, component.data());
  std::vector<std::vector<int>> children(static_cast<std::size_t>(ncomponents));
  std::vector<std::vector<int>> genes(static_cast<std::size_t>(ncomponents));
  for (int v = 0; v < nvertices; ++v) {
    const int c = component[static_cast<std::size_t>(v)];
    const std::vector<int>& own = govec[static_cast<std::size_t>(v)].gene_index;
    genes[static_cast<std::size_t>(c)].insert(genes[static_cast<std::size_t>(c)].end(), own.begin(),
                                              own.end());
    for (const auto& edge : boost::make_iterator_range(boost::out_edges(v, go_graph))) {
      const int d = component[boost::target(edge, go_graph)];
      if (d != c) children[static_cast<std::size_t>(c)].push_back(d);
    }
  }
  std::vector<bool> too_many(static_cast<std::size_t>(ncomponents), false);
  std::vector<int> scratch;
  const auto over = [max_genes](const std::vector<int>& set) {
    return max_genes > 0 && set.size() > static_cast<std::size_t>(max_genes);
  };
  for (std::size_t c = 0; c < genes.size(); ++c) {
    std::vector<int>& set = genes[c];
    std::sort(set.begin(), set.end());
    set.erase(std::unique(set.begin(), set.end()), set.end());
    bool full = over(set);
    for (std::size_t k = 0; k < children[c].size() && !full; ++k) {
      const auto d = static_cast<std::size_t>(children[c][k]);
      full = too_many[d];
      if (!full) merge_sorted(set, genes[d], scratch);
      full = full || over(set);
    }
    too_many[c] = full;
    if (full) std::vector<int>().swap(set);
    std::vector<int>().swap(children[c]);
  }
  for (int v = 0; v < nvertices; ++v) {
    const auto c = static_cast<std::size_t>(component[static_cast<std::size_t>(v)]);
    GO& term = govec[static_cast<std::size_t>(v)];
    term.genes_below = genes[c];
    term.too_many_genes = too_many[c];
  }
}

void GOData::load_go_gene(const std::string& filename, GENEData& genedat) {
  go_gene_filename = filename;
  DataLines in(filename, "error: " + filename + "not found");
  std::vector<std::string> fields;
  SeenPairs seen;
  for (std::size_t t = 0; t < govec.size(); ++t)
    seen.insert_all(static_cast<int>(t), govec[t].gene_index);
  while (in.next(fields)) {
    in.require_fields(fields, 3);
    const std::string& gene = fields[1];
    const auto term = go_map.find(fields[2]);
    if (term == go_map.end()) continue;
    const auto gene_entry = genedat.gene_map.find(gene);
    if (gene_entry == genedat.gene_map.end()) continue;
    // A gene name has one index, so a repeated (term, gene index) pair is a repeated gene.
    GO& go = govec[static_cast<std::size_t>(term->second)];
    if (!seen.insert(term->second, gene_entry->second, go.gene_index)) continue;
    go.gene.push_back(gene);
    go.gene_index.push_back(gene_entry->second);
    genedat.genevec[static_cast<std::size_t>(gene_entry->second)].used = true;
  }
  in.require_data_lines("GO-gene lines: evidence, gene, GO term");
}

void GOData::print_summary(const std::string& title) const {
  print_banner(title, 50);
  std::cout << "edges file name = " << goedges_filename << '\n';
  std::cout << "   GO namespace = " << go_type << '\n';
  std::cout << "      No. nodes = " << nvertices << '\n';
  std::cout << "      No. roots = " << count_roots() << '\n';
  std::cout << "     No. leaves = " << count_leaves() << '\n';
}

void GOData::print_degrees_freq_table(const std::string& title) const {
  std::vector<int> out_degrees;
  std::vector<int> in_degrees;
  for (const Vertex v : boost::make_iterator_range(boost::vertices(go_graph))) {
    out_degrees.push_back(static_cast<int>(boost::out_degree(v, go_graph)));
    in_degrees.push_back(static_cast<int>(boost::in_degree(v, go_graph)));
  }
  const FreqTable<int> freq(out_degrees, in_degrees, "out", "in");
  print_banner(title, 50);
  std::cout << "\n\nFrequency of node out by in degrees\n\n";
  freq.print("");
}

namespace {

void print_degree_line(const GOData& go, Vertex v) {
  const Graph& g = go.go_graph;
  std::cout << "node[" << v << "]:"
            << " name = " << boost::get(vertex_go_name_t(), g, v)
            << ", degree = " << boost::get(vertex_go_degree_t(), g, v)
            << ", in_degree = " << boost::get(vertex_go_in_degree_t(), g, v)
            << ", out_degree = " << boost::get(vertex_go_out_degree_t(), g, v) << '\n';
}

}  // namespace

void GOData::print_degrees(const std::string& title) const {
  print_banner(title, 50);
  for (const Vertex v : boost::make_iterator_range(boost::vertices(go_graph)))
    print_degree_line(*this, v);
}

void GOData::print_roots(const std::string& title) const {
  print_banner(title, 50);
  for (const Vertex v : boost::make_iterator_range(boost::vertices(go_graph)))
    if (boost::in_degree(v, go_graph) == 0) print_degree_line(*this, v);
}

void GOData::print_leaves(const std::string& title) const {
  print_banner(title, 50);
  for (const Vertex v : boost::make_iterator_range(boost::vertices(go_graph)))
    if (boost::out_degree(v, go_graph) == 0) print_degree_line(*this, v);
}

void GOData::print_go_map(const std::string& title) const {
  print_banner(title, 50);
  for (const auto& entry : go_map)
    std::cout << "go_map: " << entry.first << ",  " << entry.second << '\n';
}

void GOData::print_descendants(const std::string& title) const {
  print_banner(title, 50);
  for (std::size_t i = 0; i < govec.size(); ++i) {
    std::cout << "go[" << i << "] name = " << govec[i].name << '\n';
    std::cout << "          descendants_name: ";
    for (const int d : govec[i].descendants)
      std::cout << govec[static_cast<std::size_t>(d)].name << ", ";
    std::cout << '\n';
    std::cout << "         descendants_index: ";
    print_each_followed_by_comma(govec[i].descendants);
  }
}

void GOData::print_compute_sequence(const std::string& title) const {
  print_banner(title, 50);
  const auto names = boost::get(vertex_go_name_t(), go_graph);
  for (std::size_t k = 0; k < compute_seq.size(); ++k) {
    const Vertex v = static_cast<Vertex>(compute_seq[k]);
    std::cout << "compute_seq[" << k << "] = " << v << " name = " << names[v] << ", parents = ";
    for (const auto& edge : boost::make_iterator_range(boost::in_edges(v, go_graph)))
      std::cout << names[boost::source(edge, go_graph)] << ", ";
    std::cout << '\n';
  }
}

void GOData::print_govec(const std::string& title) const {
  print_banner(title, 50);
  std::cout << "nvertices = " << govec.size() << '\n' << '\n';
  for (std::size_t i = 0; i < govec.size(); ++i) {
    std::cout << "go[" << i << "] = " << govec[i].name << ": "
              << " ngene = " << govec[i].gene.size() << '\n';
    std::cout << "                       gene : ";
    print_each_followed_by_comma(govec[i].gene);
    std::cout << "                 gene_index : ";
    print_each_followed_by_comma(govec[i].gene_index);
  }
}

void GOData::print_go_graph(const std::string& title) const {
  print_banner(title, 50);
  std::cout << "GO DAG, names" << '\n';
  boost::print_graph(go_graph, boost::get(vertex_go_name_t(), go_graph));
  std::cout << '\n';
  std::cout << "num vertices = " << nvertices << '\n';
  const auto names = boost::get(vertex_go_name_t(), go_graph);
  for (int i = 0; i < nvertices; ++i)
    std::cout << "vertex[" << i << "] = " << names[static_cast<Vertex>(i)] << '\n';
}
